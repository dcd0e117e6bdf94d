#include "gantry/client/ZipReader.h"

#include "platform/MinizipLibrary.h"

#include <climits>

namespace quillory {

namespace {

unzFile Zip(void* handle) {
    return static_cast<unzFile>(handle);
}

// Loaded by the first Open; every other call has an open archive, so it is loaded then.
const platform::CMinizipLibrary& Minizip() {
    return platform::CMinizipLibrary::Shared();
}

// The zip library reads the archive through these, from the reader's CZipInput.
CZipInput& Input(voidpf opaque) {
    return *static_cast<CZipInput*>(opaque);
}

voidpf OpenInput(voidpf opaque, const void* path, int mode) {
    if (!(mode & ZLIB_FILEFUNC_MODE_READ) || (mode & ZLIB_FILEFUNC_MODE_CREATE))
        return nullptr;
    return Input(opaque).Open(static_cast<const char*>(path)) ? opaque : nullptr;
}

uLong ReadInput(voidpf opaque, voidpf, void* buffer, uLong count) {
    return static_cast<uLong>(Input(opaque).Read(buffer, count));
}

uLong WriteInput(voidpf, voidpf, const void*, uLong) {
    return 0; // read only
}

ZPOS64_T TellInput(voidpf opaque, voidpf) {
    return Input(opaque).Tell();
}

long SeekInput(voidpf opaque, voidpf, ZPOS64_T offset, int origin) {
    static_assert(ZLIB_FILEFUNC_SEEK_SET == CFileHandle::FROM_START &&
                  ZLIB_FILEFUNC_SEEK_CUR == CFileHandle::FROM_CURRENT &&
                  ZLIB_FILEFUNC_SEEK_END == CFileHandle::FROM_END);
    // As the library's own file functions take it: a relative offset may wrap to go back.
    return Input(opaque).Seek(static_cast<int64_t>(offset), origin) ? 0 : -1;
}

int CloseInput(voidpf opaque, voidpf) {
    return Input(opaque).Close() ? 0 : -1;
}

int InputError(voidpf opaque, voidpf) {
    return Input(opaque).Failed() ? 1 : 0;
}

} // namespace

CZipReader::~CZipReader() {
    Close();
}

bool CZipReader::Open(const String& path) {
    Close();
    zlib_filefunc64_def functions{OpenInput, ReadInput,  WriteInput, TellInput,
                                  SeekInput, CloseInput, InputError, &input_};
    if (!Minizip().Loaded())
        return false;
    zip_ = Minizip().open2_64(path.c_str(), &functions);
    return zip_ != nullptr;
}

void CZipReader::Close() {
    if (!zip_)
        return;
    if (entryOpen_)
        Minizip().closeCurrentFile(Zip(zip_));
    entryOpen_ = false;
    Minizip().close(Zip(zip_));
    zip_ = nullptr;
    entries_.clear();
    listDamaged_ = false;
}

bool CZipReader::GoToFirst() {
    return zip_ && Minizip().goToFirstFile(Zip(zip_)) == UNZ_OK;
}

bool CZipReader::GoToNext() {
    return zip_ && Minizip().goToNextFile(Zip(zip_)) == UNZ_OK;
}

bool CZipReader::CurrentInfo(ZipEntryInfo& info) {
    if (!zip_)
        return false;
    unz_file_info64 raw{};
    char name[kMaxEntryPath + 1] = {};
    if (Minizip().getCurrentFileInfo64(Zip(zip_), &raw, name, sizeof name, nullptr, 0, nullptr,
                                       0) != UNZ_OK)
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
    info.madeByHost = static_cast<uint8_t>((raw.version >> 8) & 0xFF);
    info.externalAttributes = static_cast<uint32_t>(raw.external_fa);
    info.year = static_cast<int>(raw.tmu_date.tm_year);
    info.month = static_cast<int>(raw.tmu_date.tm_mon) + 1; // minizip counts months from 0
    info.day = static_cast<int>(raw.tmu_date.tm_mday);
    info.hour = static_cast<int>(raw.tmu_date.tm_hour);
    info.minute = static_cast<int>(raw.tmu_date.tm_min);
    info.second = static_cast<int>(raw.tmu_date.tm_sec);
    unz64_file_pos position{};
    if (Minizip().getFilePos64(Zip(zip_), &position) != UNZ_OK)
        return false;
    info.listOffset = position.pos_in_zip_directory;
    info.number = position.num_of_file;
    return true;
}

bool CZipReader::ListEntries() {
    entries_.clear();
    listDamaged_ = false;
    if (!GoToFirst())
        return false;
    ZipEntryInfo info;
    do {
        if (!CurrentInfo(info)) {
            listDamaged_ = true;
            break;
        }
        entries_.push_back(info);
    } while (GoToNext());
    return true;
}

bool CZipReader::OpenEntry(const ZipEntryInfo& entry) {
    if (!zip_ || entryOpen_)
        return false;
    unz64_file_pos position{entry.listOffset, entry.number};
    return Minizip().goToFilePos64(Zip(zip_), &position) == UNZ_OK && OpenCurrent();
}

bool CZipReader::OpenCurrent() {
    if (!zip_ || entryOpen_)
        return false;
    entryOpen_ = Minizip().openCurrentFile(Zip(zip_)) == UNZ_OK;
    return entryOpen_;
}

int64_t CZipReader::ReadCurrent(void* buffer, size_t count) {
    if (!entryOpen_)
        return -1;
    if (count > static_cast<size_t>(INT_MAX))
        count = static_cast<size_t>(INT_MAX);
    int n = Minizip().readCurrentFile(Zip(zip_), buffer, static_cast<unsigned>(count));
    return n < 0 ? -1 : n;
}

bool CZipReader::CloseCurrent() {
    if (!entryOpen_)
        return false;
    entryOpen_ = false;
    return Minizip().closeCurrentFile(Zip(zip_)) == UNZ_OK;
}

} // namespace quillory
