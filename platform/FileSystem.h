#pragma once
// File and folder operations with the results the Windows calls give. Paths may use "\" or "/";
// a path that does not exist as written is looked up ignoring ASCII letter case, segment by
// segment, as the game sees its files on Windows or under Wine.

#include "common/FileTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillory::platform {

class CNameIndex;

// Windows error codes, so callers can tell the cases apart exactly as the system expects.
enum class FsResult : uint32_t {
    Ok = 0,
    FileNotFound = 2,
    PathNotFound = 3,
    AccessDenied = 5,
    NotSameDevice = 17,
    WriteProtect = 19,
    GeneralFailure = 31,
    DiskFull = 112,
    DirNotEmpty = 145,
    AlreadyExists = 183,
    NotADirectory = 267,
};

struct FileAttributes {
    bool directory = false;
    bool hidden = false;   // the name begins with "."
    bool system = false;   // neither a regular file nor a directory
    bool readOnly = false; // nobody may write it
    uint64_t size = 0;
    FileTime modified = 0;
};

// The path with the native separator in place of "\".
std::string NativePath(std::string_view path);

// The native path of `path` with every segment that does not exist as written replaced by the
// first entry of its folder that matches it ignoring case. Segments that match nothing stay as
// written, so the result names where a new entry would go.
// The operations below that take a CNameIndex look names up in it, and keep it up to date,
// instead of reading the folder each time; null reads the folder.
std::string ResolveCase(std::string_view path, CNameIndex* index = nullptr);

// Renames or moves a file or folder. Fails with AlreadyExists when the target folder already
// holds the name in any letter case (unless that entry is the source itself, which makes a
// rename that changes only letter case).
FsResult RenamePath(std::string_view from, std::string_view to, CNameIndex* index = nullptr);

// Deletes a file; a folder gives AccessDenied.
FsResult RemoveFile(std::string_view path, CNameIndex* index = nullptr);

// Creates one folder; AlreadyExists when the name exists in any letter case.
FsResult MakeDirectory(std::string_view path, CNameIndex* index = nullptr);

// Removes an empty folder; DirNotEmpty while anything is inside.
FsResult RemoveEmptyDirectory(std::string_view path, CNameIndex* index = nullptr);

// Attributes of a file or folder; none when it does not exist. Links are followed.
std::optional<FileAttributes> GetAttributes(std::string_view path);

bool PathExists(std::string_view path);

// Bytes available to this user on the volume that holds `path`; none when unknown.
std::optional<uint64_t> FreeDiskSpace(std::string_view path);

} // namespace quillory::platform
