#include "watch/core/GameLauncher.h"

#include "common/AsciiCase.h"
#include "common/Tokenizer.h"
#include "platform/FileSystem.h"
#include "platform/HostResolve.h"
#include "watch/core/LaunchRequest.h"

#include <cstring>
#include <utility>

namespace quillory {

namespace {

#ifdef _WIN32
constexpr char NATIVE_SEPARATOR = '\\';
#else
constexpr char NATIVE_SEPARATOR = '/';
#endif

String Trim(const String& text) {
    const char* blanks = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == String::npos)
        return String();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool EndsWithSeparator(const String& folder) {
    return !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
}

} // namespace

std::optional<ConnectTarget> ConnectTargetOf(const String& address, int32_t reportedPort) {
    if (address.empty())
        return std::nullopt;
    const size_t colon = address.find(':');
    if (colon == String::npos)
        return ConnectTarget{Trim(address), std::to_string(reportedPort)};
    return ConnectTarget{Trim(address.substr(0, colon)), Trim(address.substr(colon + 1))};
}

String ExecutableName(int32_t version, bool betaPresent) {
    if (version < VERSION_UPRISING)
        return EXE_IRONVALE;
    if (version == VERSION_BETA_192 && betaPresent)
        return EXE_BETA_192;
    return EXE_UPRISING;
}

bool BetaExecutablePresent(const String& gameFolder) {
    // A folder stored without its separator still names the folder the game is in.
    if (gameFolder.empty())
        return false;
    auto attributes = platform::GetAttributes(ExecutablePath(gameFolder, EXE_BETA_192));
    return attributes && !attributes->directory;
}

String ExecutablePath(const String& gameFolder, const String& name) {
    if (EndsWithSeparator(gameFolder))
        return gameFolder + name;
    return gameFolder + NATIVE_SEPARATOR + name;
}

String ExtraParameters(const String& startupParameters, bool automaticMods,
                       const String& modSuggestion) {
    if (!automaticMods)
        return startupParameters;
    String extra;
    for (const String& word : TokenizeCommandLine(startupParameters)) {
        if (StartsWithNoCase(word, "-mod="))
            continue;
        if (!extra.empty())
            extra += ' ';
        extra += word;
    }
    if (!modSuggestion.empty()) {
        if (!extra.empty())
            extra += ' ';
        extra += "-mod=" + modSuggestion;
    }
    return extra;
}

String BuildSwitches(const LaunchSettings& settings) {
    String switches =
        "-nosplash -connect=" + settings.connectAddress + " -port=" + settings.connectPort;
    // A password goes only to a server that asks for one.
    if (settings.locked && !settings.password.empty())
        switches += " -password=" + settings.password;
    const String extra =
        ExtraParameters(settings.startupParameters, settings.automaticMods, settings.modSuggestion);
    if (!extra.empty())
        switches += ' ' + extra;
    return switches;
}

String BuildCommandLine(const LaunchSettings& settings, const String& executableName) {
    return '"' + ExecutablePath(settings.gameFolder, executableName) + "\" " +
           BuildSwitches(settings);
}

String GameCommandLine(const LaunchSettings& settings) {
    const bool beta =
        settings.version == VERSION_BETA_192 && BetaExecutablePresent(settings.gameFolder);
    return BuildCommandLine(settings, ExecutableName(settings.version, beta));
}

String LaunchFailureText(int32_t version) {
    return version >= VERSION_UPRISING ? "Could not start Ironvale Uprising"
                                       : "Could not start Ironvale";
}

std::optional<String> ResolveHostDotted(const String& host) {
    const uint32_t address = ResolveHost(host);
    if (address == ADDRESS_NONE)
        return std::nullopt;
    uint8_t bytes[4];
    std::memcpy(bytes, &address, sizeof bytes); // network order: first byte first
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
           std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}

PlayNowOutcome PlayNowLaunch(PlayNowRequest request, const HostResolver& resolve,
                             const ProcessStarter& start) {
    return StartLaunch(PrepareLaunch(std::move(request), resolve), start);
}

} // namespace quillory
