#include "gantry/client/ZipReader.h"

#include <minizip/unzip.h>

#include <climits>

namespace quillory {

namespace {

unzFile Zip(void* handle) {
    return static_cast<unzFile>(handle);
}

} // namespace

CZipReader::~CZipReader() {
    Close();
}

bool CZipReader::Open(const String& path) {
    Close();
    zip_ = unzOpen64(path.c_str());
    return zip_ != nullptr;
}

void CZipReader::Close() {
    if (!zip_)
        return;
    if (entryOpen_)
        unzCloseCurrentFile(Zip(zip_));
    entryOpen_ = false;
    unzClose(Zip(zip_));
    zip_ = nullptr;
}

bool CZipReader::GoToFirst() {
    return zip_ && unzGoToFirstFile(Zip(zip_)) == UNZ_OK;
}

bool CZipReader::GoToNext() {
    return zip_ && unzGoToNextFile(Zip(zip_)) == UNZ_OK;
}

bool CZipReader::CurrentInfo(ZipEntryInfo& info) {
    if (!zip_)
        return false;
    unz_file_info64 raw{};
    char name[kMaxEntryPath + 1] = {};
    if (unzGetCurrentFileInfo64(Zip(zip_), &raw, name, sizeof name, nullptr, 0, nullptr, 0) !=
        UNZ_OK)
        return false;
    // minizip fills the buffer without a terminating zero when the name is longer than it.
    info.pathTooLong = raw.size_filename > kMaxEntryPath;
    info.path.assign(name, info.pathTooLong ? kMaxEntryPath : raw.size_filename);
    // The name is a C string to the rest of the system: a zero byte ends it, so that no node
    // name or database text ever carries one.
    if (size_t zero = info.path.find('\0'); zero != String::npos)
        info.path.resize(zero);
    info.size = raw.uncompressed_size;
    info.compressedSize = raw.compressed_size;
    info.crc = static_cast<uint32_t>(raw.crc);
    info.year = static_cast<int>(raw.tmu_date.tm_year);
    info.month = static_cast<int>(raw.tmu_date.tm_mon) + 1; // minizip counts months from 0
    info.day = static_cast<int>(raw.tmu_date.tm_mday);
    info.hour = static_cast<int>(raw.tmu_date.tm_hour);
    info.minute = static_cast<int>(raw.tmu_date.tm_min);
    info.second = static_cast<int>(raw.tmu_date.tm_sec);
    return true;
}

bool CZipReader::OpenCurrent() {
    if (!zip_ || entryOpen_)
        return false;
    entryOpen_ = unzOpenCurrentFile(Zip(zip_)) == UNZ_OK;
    return entryOpen_;
}

int64_t CZipReader::ReadCurrent(void* buffer, size_t count) {
    if (!entryOpen_)
        return -1;
    if (count > static_cast<size_t>(INT_MAX))
        count = static_cast<size_t>(INT_MAX);
    int n = unzReadCurrentFile(Zip(zip_), buffer, static_cast<unsigned>(count));
    return n < 0 ? -1 : n;
}

bool CZipReader::CloseCurrent() {
    if (!entryOpen_)
        return false;
    entryOpen_ = false;
    return unzCloseCurrentFile(Zip(zip_)) == UNZ_OK;
}

} // namespace quillory
