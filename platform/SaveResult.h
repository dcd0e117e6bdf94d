#pragma once
// The outcome of writing a file: on failure, what went wrong and on which path.

#include <string>

namespace quillory::platform {

struct SaveResult {
    bool ok = true;
    std::string what; // empty when ok
    std::string path; // the file the failure concerns

    static SaveResult Done() { return {}; }
    static SaveResult Failed(std::string what, std::string path) {
        return {false, std::move(what), std::move(path)};
    }
    explicit operator bool() const { return ok; }
};

} // namespace quillory::platform
