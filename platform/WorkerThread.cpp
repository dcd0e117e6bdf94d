#include "platform/WorkerThread.h"

#include <mutex>
#include <system_error>

namespace quillory {

CWorkerThread::CWorkerThread() = default;

CWorkerThread::~CWorkerThread() {
    CloseThreadHandle();
}

void CWorkerThread::Post(uint32_t code, uint32_t first, uint32_t second) {
    {
        std::lock_guard guard(queueLock_);
        queue_.push_back({code, first, second});
    }
    wake_.Set();
}

bool CWorkerThread::TryGet(uint32_t& code, uint32_t* first, uint32_t* second) {
    std::lock_guard guard(queueLock_);
    if (queue_.empty())
        return false;
    const Message m = queue_.front();
    queue_.pop_front();
    code = m.code;
    if (first)
        *first = m.first;
    if (second)
        *second = m.second;
    return true;
}

void CWorkerThread::Get(uint32_t& code, uint32_t* first, uint32_t* second) {
    while (!TryGet(code, first, second))
        wake_.Wait(WAIT_FOREVER);
}

bool CWorkerThread::Start() {
    if (thread_.joinable())
        return false;
    stop_ = false;
    finished_.Reset();
    try {
        thread_ = std::thread([this] {
            Run();
            finished_.Set();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

uint32_t CWorkerThread::Wait(uint32_t milliseconds) {
    if (!thread_.joinable())
        return WAIT_OBJECT_0;
    return finished_.Wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void CWorkerThread::CloseThreadHandle() {
    if (thread_.joinable())
        thread_.join();
}

} // namespace quillory
