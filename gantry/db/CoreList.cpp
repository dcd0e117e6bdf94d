// The core-file list: the game's own folders and files, searched segment by segment with skips.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "gantry/db/CoreFileResource.h"
#include "platform/ZlibLibrary.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace quillory {

namespace {

// Far above the shipped list; a larger claim is damage, not data.
constexpr uint32_t MAX_CORE_LIST_LENGTH = 16u << 20;

// The list read in place: every scanned file is looked up, and a text copied out of the list per
// entry compared cost an allocation each.
struct CoreListCursor {
    const uint8_t* begin;
    size_t size;
    size_t at = 0;

    // Up to the next zero byte, or to the end when there is none.
    std::string_view ReadText() {
        const auto* start = reinterpret_cast<const char*>(begin + at);
        const void* zero = std::memchr(start, 0, size - at);
        const size_t length =
            zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : size - at;
        at += zero ? length + 1 : length;
        return std::string_view(start, length);
    }

    bool ReadU32(uint32_t& value) {
        if (size - at < 4)
            return false;
        value = uint32_t(begin[at]) | uint32_t(begin[at + 1]) << 8 | uint32_t(begin[at + 2]) << 16 |
                uint32_t(begin[at + 3]) << 24;
        at += 4;
        return true;
    }

    // Follows a folder's skip offset; one beyond the data, or not forward, is ignored.
    bool SkipFolder() {
        uint32_t offset = 0;
        if (!ReadU32(offset))
            return false;
        if (offset >= at && offset <= size)
            at = offset;
        return true;
    }
};

// Splits the first segment (up to and including its "\") off `path`.
std::string_view TakeSegment(std::string_view& path) {
    const size_t cut = path.find('\\');
    const std::string_view segment = cut == std::string_view::npos ? path : path.substr(0, cut + 1);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    return segment;
}

} // namespace

void CFileDatabase::UnpackCoreList(const uint8_t* resource, size_t size, std::vector<uint8_t>& list,
                                   uint32_t& length) {
    const auto& zlib = platform::CZlibLibrary::Shared();
    uint32_t claimed = 0;
    CMemoryStream head(resource, size);
    uLongf got = 0;
    if (zlib.Loaded() && ReadU32(head, claimed) && claimed > 0 && claimed <= MAX_CORE_LIST_LENGTH) {
        list.assign(claimed, 0);
        got = claimed;
        if (zlib.uncompress(list.data(), &got, resource + 4, static_cast<uLong>(size - 4)) != Z_OK)
            got = 0;
    }
    // A list that does not unpack is empty: every lookup answers false.
    if (got == 0)
        list.assign(1, 0);
    length = static_cast<uint32_t>(got == 0 ? 1 : got);
}

bool CFileDatabase::IsCorePath(const String& relPath) {
    if (coreList_.empty())
        UnpackCoreList(CORE_FILE_RESOURCE, CORE_FILE_RESOURCE_SIZE, coreList_, coreListLength_);
    CoreListCursor list{coreList_.data(), std::min<size_t>(coreListLength_, coreList_.size())};
    std::string_view rest = relPath;
    std::string_view segment = TakeSegment(rest);
    for (;;) {
        const std::string_view entry = list.ReadText();
        if (entry.empty())
            return false;
        bool isFolder = entry.back() == '\\';
        if (!EqualsNoCase(entry, segment)) {
            if (isFolder && !list.SkipFolder())
                return false;
            continue;
        }
        if (rest.empty())
            return true;
        // The folder's own entries follow its skip offset.
        uint32_t ignored = 0;
        if (isFolder && !list.ReadU32(ignored))
            return false;
        segment = TakeSegment(rest);
    }
}

void CFileDatabase::SetCoreList(std::vector<uint8_t> list, uint32_t length) {
    coreList_ = std::move(list);
    coreListLength_ = length;
}

void CFileDatabase::FreeCoreList() {
    coreList_.clear();
    coreList_.shrink_to_fit();
    coreListLength_ = 0;
}

} // namespace quillory
