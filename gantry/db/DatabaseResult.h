#pragma once
// The outcome of loading or saving the Gantry database: on failure, what went wrong and on
// which path, so that a front end can show it without asking again.

#include "common/Types.h"
#include "platform/SaveResult.h"

namespace quillory {

struct DatabaseResult {
    bool ok = true;
    String what; // empty when ok
    String path;

    static DatabaseResult Done() { return {}; }
    static DatabaseResult Failed(String what, String path) {
        return {false, std::move(what), std::move(path)};
    }
    static DatabaseResult From(const platform::SaveResult& saved) {
        return {saved.ok, saved.what, saved.path};
    }
    explicit operator bool() const { return ok; }
};

} // namespace quillory
