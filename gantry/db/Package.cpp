#include "gantry/db/Package.h"

#include <chrono>

namespace quillory {

namespace {

FileTime FileTimeNow() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
    return FileTimeFromUnix(ns / 1000000000, ns % 1000000000);
}

} // namespace

CPackage::CPackage() : installed(FileTimeNow()) {}

CPackage::~CPackage() = default;

} // namespace quillory
