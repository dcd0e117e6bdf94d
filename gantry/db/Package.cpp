#include "gantry/db/Package.h"

#include <chrono>
#include <ctime>

namespace quillory {

namespace {

FileTime FileTimeNow() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
    return FileTimeFromUnix(ns / 1000000000, ns % 1000000000);
}

bool ToLocalTime(FileTime time, std::tm& local) {
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    UnixFromFileTime(time, seconds, nanoseconds);
    std::time_t t = static_cast<std::time_t>(seconds);
#ifdef _WIN32
    return localtime_s(&local, &t) == 0;
#else
    return localtime_r(&t, &local) != nullptr;
#endif
}

} // namespace

CPackage::CPackage() : installed(FileTimeNow()) {}

CPackage::~CPackage() = default;

void CPackage::AddMember(const Handle<CFileNode>& node) {
    members.push_back(node);
    ++node->bindCount;
}

int CPackage::IndexOf(const CFileNode* node) const {
    for (size_t i = 0; i < members.size(); ++i)
        if (members[i].get() == node)
            return static_cast<int>(i);
    return -1;
}

void CPackage::RemoveAt(int index) {
    if (index < 0 || static_cast<size_t>(index) >= members.size())
        return;
    --members[static_cast<size_t>(index)]->bindCount;
    members.erase(members.begin() + index);
}

void CPackage::ComputeStatus() {
    fileCount = folderCount = sharedCount = 0;
    totalSize = 0;
    uint32_t present = 0, inactive = 0, missing = 0;
    for (size_t i = members.size(); i-- > 0;) {
        const CFileNode& node = *members[i];
        if (node.IsFolder()) {
            ++folderCount;
        } else {
            ++fileCount;
            totalSize += node.size;
            if (node.status == NS_ACTIVE)
                ++present;
            else if (node.status == NS_INACTIVE)
                ++inactive;
            else if (node.status == NS_MISSING)
                ++missing;
        }
        if (node.bindCount > 1)
            ++sharedCount;
    }
    if (missing > 0 && missing == fileCount)
        status = PS_NO_FILES;
    else if (missing > 0 && inactive > 0 && present > 0)
        status = PS_PARTIAL_MISSING;
    else if (missing > 0 && inactive > 0)
        status = PS_INACTIVE_MISSING;
    else if (missing > 0)
        status = PS_MISSING;
    else if (present == fileCount)
        status = PS_ACTIVE;
    else if (inactive == fileCount)
        status = PS_INACTIVE;
    else
        status = PS_PARTIAL;
}

String CPackage::StatusText() const {
    switch (status) {
    case PS_INACTIVE:
        return "Inactive";
    case PS_INACTIVE_MISSING:
        return "Inactive & missing files";
    case PS_ACTIVE:
        return "";
    case PS_MISSING:
        return "Missing files";
    case PS_PARTIAL:
        return "Partial";
    case PS_NO_FILES:
        return "No files";
    case PS_PARTIAL_MISSING:
        return "Partial & missing files";
    default:
        return "";
    }
}

String CPackage::OfferedStatusText() const {
    switch (status) {
    case OS_INSTALLED:
        return "Files installed";
    case OS_PATH_DIFFERS:
        return "Installed path differ";
    case OS_MISSING:
        return "Missing files";
    case OS_NOT_INSTALLED:
        return "No file installed";
    default:
        return "error, invalid status";
    }
}

String CPackage::SizeText() const {
    return CFileNode::SizeTextOf(totalSize);
}

String CPackage::InstallDateText() const {
    std::tm local{};
    if (!ToLocalTime(installed, local))
        return String();
    char date[64] = "";
    char time[64] = "";
    std::strftime(date, sizeof date, "%x", &local);
    std::strftime(time, sizeof time, "%X", &local);
    return String(date) + " " + time;
}

} // namespace quillory
