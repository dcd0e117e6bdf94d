#include "tests/support/ZipBuilder.h"

#include <minizip/zip.h>
#include <zlib.h>

namespace quillory::test {

ZipBuilder& ZipBuilder::Add(std::string name, std::string data, std::optional<ZipDate> date,
                            bool compress) {
    entries_.push_back(
        {std::move(name), std::move(data), date.value_or(ZipDate{}), compress, {}, {}});
    return *this;
}

ZipBuilder& ZipBuilder::AddFolder(std::string name) {
    if (name.empty() || name.back() != '/')
        name += '/';
    entries_.push_back({std::move(name), {}, ZipDate{}, false, {}, {}});
    return *this;
}

ZipBuilder& ZipBuilder::AddUnix(std::string name, std::string data, uint32_t mode) {
    entries_.push_back({std::move(name), std::move(data), ZipDate{}, true, {}, mode});
    return *this;
}

ZipBuilder& ZipBuilder::AddWithCrc(std::string name, std::string data, uint32_t claimedCrc) {
    entries_.push_back({std::move(name), std::move(data), ZipDate{}, false, claimedCrc, {}});
    return *this;
}

bool ZipBuilder::Write(const std::string& path) const {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const Entry& e : entries_) {
        zip_fileinfo info{};
        info.tmz_date.tm_year = static_cast<uInt>(e.date.year);
        info.tmz_date.tm_mon = static_cast<uInt>(e.date.month - 1); // minizip counts from 0
        info.tmz_date.tm_mday = static_cast<uInt>(e.date.day);
        info.tmz_date.tm_hour = static_cast<uInt>(e.date.hour);
        info.tmz_date.tm_min = static_cast<uInt>(e.date.minute);
        info.tmz_date.tm_sec = static_cast<uInt>(e.date.second);
        bool raw = e.claimedCrc.has_value();
        int method = e.compress && !raw ? Z_DEFLATED : 0;
        // Version made by: Unix (3) when a mode is given, so that readers look at its bits.
        const uLong madeBy = e.unixMode ? (3u << 8) | 20u : 0;
        if (e.unixMode)
            info.external_fa = uLong(*e.unixMode) << 16;
        if (zipOpenNewFileInZip4(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                 method, Z_DEFAULT_COMPRESSION, raw ? 1 : 0, -MAX_WBITS,
                                 DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, madeBy,
                                 0) != ZIP_OK) {
            ok = false;
            break;
        }
        if (!e.data.empty() &&
            zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())) != ZIP_OK)
            ok = false;
        int closed =
            raw ? zipCloseFileInZipRaw(zip, e.data.size(), *e.claimedCrc) : zipCloseFileInZip(zip);
        if (closed != ZIP_OK)
            ok = false;
    }
    if (zipClose(zip, nullptr) != ZIP_OK)
        ok = false;
    return ok;
}

uint32_t Crc32Of(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

} // namespace quillory::test
