#pragma once
// Where the one running copy of the program listens for later copies: a local socket in a
// folder only its user can enter, named for the user and for the data folder, so that other
// users' copies never meet it and each data folder has a copy of its own.

#include "common/Types.h"

namespace quillory::platform {

// The user's runtime folder: `xdgRuntimeDir` when it is an absolute path to a folder of this
// user that is not a link; else "quillory-<uid>" in `tmpDir` (or "/tmp" when that is not an
// absolute path), made 0700 when missing. Empty, with `error` saying why, when the folder in
// the temporary folder is a link, not a folder, or someone else's.
String UserRuntimeFolder(const char* xdgRuntimeDir, const char* tmpDir, String& error);

// The runtime folder of this process's environment.
String DefaultRuntimeFolder(String& error);

// A short tag for `dataFolder` (an absolute path): eight hexadecimal digits of its hash.
String DataFolderTag(const String& dataFolder);

// The socket's path in `runtimeFolder`: `name`, the user's id and the data folder's tag.
String InstanceSocketPath(const String& runtimeFolder, const char* name, const String& dataFolder);

} // namespace quillory::platform
