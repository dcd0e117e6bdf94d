#include "tests/support/ScopedUnprivileged.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillory::test {

namespace {

// The capabilities that let root ignore permission bits.
constexpr uint32_t kBypassBits =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

bool GetCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

bool SetCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

ScopedUnprivileged::ScopedUnprivileged() {
    __user_cap_data_struct data[2] = {};
    if (!GetCaps(data))
        return;
    if ((data[0].effective & kBypassBits) == 0) {
        active_ = true;
        return;
    }
    savedEffective_[0] = data[0].effective;
    savedEffective_[1] = data[1].effective;
    // Capabilities belong to the thread, so only the calling thread loses them.
    data[0].effective &= ~kBypassBits;
    if (SetCaps(data)) {
        dropped_ = true;
        active_ = true;
    }
}

ScopedUnprivileged::~ScopedUnprivileged() {
    if (!dropped_)
        return;
    __user_cap_data_struct data[2] = {};
    if (!GetCaps(data))
        return;
    data[0].effective = savedEffective_[0];
    data[1].effective = savedEffective_[1];
    SetCaps(data);
}

} // namespace quillory::test
