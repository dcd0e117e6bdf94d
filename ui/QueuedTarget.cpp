#include "ui/QueuedTarget.h"

#include <QMetaObject>

namespace quillory::ui {

void CQueuedTarget::Drop() {
    std::lock_guard guard(mutex_);
    target_ = nullptr;
}

void CQueuedTarget::Post(std::function<void()> work) {
    // Held while posting: the target cannot be dropped, and so not deleted, in between. Events
    // still queued when it is deleted are discarded with it.
    std::lock_guard guard(mutex_);
    if (target_ != nullptr)
        QMetaObject::invokeMethod(target_, std::move(work), Qt::QueuedConnection);
}

} // namespace quillory::ui
