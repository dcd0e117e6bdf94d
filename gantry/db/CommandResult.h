#pragma once
// What a package or file command did, for a front end to show or print: it never re-reads the
// database to guess.

#include "common/Types.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace quillory {

enum class CommandStatus {
    Done,              // everything asked for happened (or was already so)
    Refused,           // nothing changed; `reason` says why
    NeedsConfirmation, // nothing changed; ask `questions` in order, then run it confirmed
    PartlyFailed,      // some items stayed as they were; see the items marked Failed
};

enum class ItemOutcome {
    Changed,   // the item was changed
    Unchanged, // nothing to do for it (already so)
    Failed,    // it stayed as it was
};

// One file or package the command acted on.
struct CommandItem {
    String subject; // relative path or package name
    ItemOutcome outcome = ItemOutcome::Changed;
    bool missing = false;      // a file that is not on disk
    std::vector<String> paths; // what could not be deleted, for an uninstall that failed
    uint32_t error = 0;        // the file system's result code of a file that stayed, if any
};

struct CommandResult {
    CommandStatus status = CommandStatus::Done;
    String reason;
    std::vector<String> questions;
    std::vector<CommandItem> items;

    bool IsDone() const { return status == CommandStatus::Done; }

    static CommandResult Refuse(String why) {
        CommandResult result;
        result.status = CommandStatus::Refused;
        result.reason = std::move(why);
        return result;
    }
    static CommandResult Ask(std::vector<String> texts) {
        CommandResult result;
        result.status = CommandStatus::NeedsConfirmation;
        result.questions = std::move(texts);
        return result;
    }
    // Adds an item; a failed one turns the result into PartlyFailed.
    void Add(CommandItem item) {
        if (item.outcome == ItemOutcome::Failed)
            status = CommandStatus::PartlyFailed;
        items.push_back(std::move(item));
    }
};

} // namespace quillory
