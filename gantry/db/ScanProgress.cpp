#include "gantry/db/ScanProgress.h"

namespace quillory {

void CScanProgress::Publish(const String& path) {
    // Written into the text's own buffer: a new string for every entry of the walk cost an
    // allocation and a free per file.
    std::lock_guard guard(lock_);
    if (path.size() <= TEXT_TAIL) {
        text_.assign(path);
        return;
    }
    text_.assign("...");
    text_.append(path, path.size() - TEXT_TAIL, TEXT_TAIL);
}

String CScanProgress::Text() const {
    std::lock_guard guard(lock_);
    return text_;
}

} // namespace quillory
