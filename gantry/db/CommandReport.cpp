#include "gantry/db/CommandReport.h"

#include "platform/FileSystem.h"

#include <string>

namespace quillory {

namespace {

String FullPath(const String& gameFolder, const String& relative) {
    String folder = platform::NativePath(gameFolder);
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder + platform::NativePath(relative);
}

// Why a file stayed, in the player's words.
String ErrorText(uint32_t error) {
    switch (platform::FsResult(error)) {
    case platform::FsResult::AlreadyExists:
        return "another file of that name is in the way";
    case platform::FsResult::AccessDenied:
        return "access denied";
    case platform::FsResult::WriteProtect:
        return "the drive is write-protected";
    case platform::FsResult::DiskFull:
        return "the disk is full";
    case platform::FsResult::PathNotFound:
        return "its folder is missing";
    default:
        return "error " + std::to_string(error);
    }
}

String ItemLine(const CommandItem& item, const String& gameFolder, bool subjectsArePaths) {
    const String subject = subjectsArePaths ? FullPath(gameFolder, item.subject) : item.subject;
    if (!item.paths.empty()) {
        String line = subject + ": could not delete";
        for (const String& path : item.paths)
            line += "\n    " + FullPath(gameFolder, path);
        return line;
    }
    if (item.missing)
        return subject + ": the file is missing";
    if (!subjectsArePaths)
        return subject + ": some of its files stay as they were";
    if (item.error != 0)
        return subject + ": stays as it was (" + ErrorText(item.error) + ")";
    return subject + ": stays as it was";
}

} // namespace

String CommandFailureText(const CommandResult& result, const String& gameFolder,
                          bool subjectsArePaths) {
    if (result.status == CommandStatus::Refused)
        return result.reason;
    if (result.status != CommandStatus::PartlyFailed)
        return String();
    String text = "Not everything could be done:";
    for (const CommandItem& item : result.items)
        if (item.outcome == ItemOutcome::Failed)
            text += "\n" + ItemLine(item, gameFolder, subjectsArePaths);
    return text;
}

} // namespace quillory
