#include "cli/CommandLine.h"

#include "cli/CommandHelp.h"
#include "common/StandardSwitches.h"

#include <algorithm>
#include <charconv>

namespace quillory::cli {

namespace {

// The option a parser error names: its message begins with "NAME: ".
String OptionNamed(const CLI::Error& error) {
    const String message = error.what();
    return message.substr(0, message.find(": "));
}

// The parser's complaint in the words the commands always used.
String ErrorText(const CLI::App& app, const CLI::ParseError& error) {
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        const std::vector<String> extra = app.remaining();
        const String word = extra.empty() ? String() : extra.front();
        return word.size() > 1 && word[0] == '-' ? "unknown option " + word
                                                 : "unexpected '" + word + "'";
    }
    const String message = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr &&
        message.ends_with(" missing"))
        return OptionNamed(error) + " needs a value";
    return message;
}

} // namespace

void PrepareCommandLine(CLI::App& app) {
    app.set_help_flag("--help");
    app.set_version_flag("--version", PROGRAM_NAME); // answered by PrintVersion
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

std::optional<int> ParseCommandLine(CLI::App& app, const Args& args, const CommandTexts& texts) {
    // The parser takes the words last first.
    std::vector<String> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::fputs(texts.help.c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion&) {
        PrintVersion(stdout, PROGRAM_NAME);
        return 0;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "%s: %s\n%s", PROGRAM_NAME, ErrorText(app, error).c_str(),
                     texts.usage.c_str());
        return 2;
    }
    return std::nullopt;
}

std::optional<uint64_t> ParseDecimal(std::string_view text) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.empty() || text.size() > MAX_DECIMAL_DIGITS ||
        !std::all_of(text.begin(), text.end(), isDigit))
        return std::nullopt;
    uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value); // twelve digits always fit
    return value;
}

CLI::Validator DecimalAtMost(uint64_t limit) {
    return CLI::Validator(
        [limit](String& text) -> String {
            const std::optional<uint64_t> value = ParseDecimal(text);
            if (!value)
                return "'" + text + "' is not a number of at most 12 digits";
            text = std::to_string(std::min(*value, limit));
            return String();
        },
        "DECIMAL");
}

CLI::Validator NotEmpty() {
    return CLI::Validator(
        [](String& text) { return text.empty() ? String("an empty word") : String(); }, "TEXT");
}

} // namespace quillory::cli
