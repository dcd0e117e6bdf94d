#include "gantry/db/CommandReport.h"

#include <gtest/gtest.h>

using namespace quillory;

namespace {

CommandItem Item(const char* subject, ItemOutcome outcome) {
    CommandItem item;
    item.subject = subject;
    item.outcome = outcome;
    return item;
}

TEST(CommandReportTest, WhatThePlayerIsTold) {
    CommandResult done;
    done.Add(Item("AddOns\\a.pbo", ItemOutcome::Changed));
    CommandResult partly;
    partly.Add(Item("AddOns\\a.pbo", ItemOutcome::Changed));
    CommandItem inTheWay = Item("AddOns\\b.pbo", ItemOutcome::Failed);
    inTheWay.error = 183; // already exists
    partly.Add(inTheWay);
    CommandItem gone = Item("AddOns\\c.pbo", ItemOutcome::Failed);
    gone.missing = true;
    partly.Add(gone);
    CommandResult uninstall;
    CommandItem locked = Item("Locked", ItemOutcome::Failed);
    locked.paths = {"AddOns\\locked\\x.pbo", "AddOns\\locked\\"};
    uninstall.Add(locked);
    CommandResult activation;
    activation.Add(Item("Maps", ItemOutcome::Failed));

    struct Case {
        const char* what;
        CommandResult result;
        bool files;
        String text;
    } cases[] = {
        {"done says nothing", done, true, ""},
        {"questions say nothing", CommandResult::Ask({"Sure?"}), false, ""},
        {"a refusal gives its reason", CommandResult::Refuse("Core cannot be dissolved"), false,
         "Core cannot be dissolved"},
        {"failed files with their full paths and why", partly, true,
         "Not everything could be done:\n"
         "/games/ivl/AddOns/b.pbo: stays as it was (another file of that name is in the way)\n"
         "/games/ivl/AddOns/c.pbo: the file is missing"},
        {"an uninstall names what it could not delete", uninstall, false,
         "Not everything could be done:\nLocked: could not delete\n"
         "    /games/ivl/AddOns/locked/x.pbo\n    /games/ivl/AddOns/locked/"},
        {"a package that stayed", activation, false,
         "Not everything could be done:\nMaps: some of its files stay as they were"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CommandFailureText(c.result, "/games/ivl/", c.files), c.text) << c.what;
    // A folder without its trailing separator gets one.
    EXPECT_NE(CommandFailureText(partly, "/games/ivl", true).find("\n/games/ivl/AddOns/c.pbo:"),
              String::npos);
}

} // namespace
