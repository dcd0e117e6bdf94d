// The core-file list: the game's own folders and files, searched segment by segment with skips.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "gantry/db/CoreFileResource.h"

#include <algorithm>
#include <zlib.h>

namespace quillory {

namespace {

// Far above the shipped list; a larger claim is damage, not data.
constexpr uint32_t MAX_CORE_LIST_LENGTH = 16u << 20;

// Splits the first segment (up to and including its "\") off `path`.
String TakeSegment(String& path) {
    size_t cut = path.find('\\');
    String segment = cut == String::npos ? path : path.substr(0, cut + 1);
    path = cut == String::npos ? String() : path.substr(cut + 1);
    return segment;
}

// Follows a folder's skip offset; one beyond the data, or not forward, is ignored.
bool SkipFolder(CMemoryStream& list) {
    uint32_t offset = 0;
    if (!ReadU32(list, offset))
        return false;
    if (offset >= list.Position() && offset <= list.Size())
        list.Seek(offset, CMemoryStream::SEEK_START);
    return true;
}

} // namespace

void CFileDatabase::UnpackCoreList(const uint8_t* resource, size_t size, std::vector<uint8_t>& list,
                                   uint32_t& length) {
    uint32_t claimed = 0;
    CMemoryStream head(resource, size);
    uLongf got = 0;
    if (ReadU32(head, claimed) && claimed > 0 && claimed <= MAX_CORE_LIST_LENGTH) {
        list.assign(claimed, 0);
        got = claimed;
        if (uncompress(list.data(), &got, resource + 4, static_cast<uLong>(size - 4)) != Z_OK)
            got = 0;
    }
    // A list that does not unpack is empty: every lookup answers false.
    if (got == 0)
        list.assign(1, 0);
    length = static_cast<uint32_t>(got == 0 ? 1 : got);
}

bool CFileDatabase::IsCorePath(const String& relPath) {
    if (coreList.empty())
        UnpackCoreList(CORE_FILE_RESOURCE, CORE_FILE_RESOURCE_SIZE, coreList, coreListLength);
    CMemoryStream list(coreList.data(), std::min<size_t>(coreListLength, coreList.size()));
    String rest = relPath;
    String segment = TakeSegment(rest);
    for (;;) {
        String entry = ReadText(list);
        if (entry.empty())
            return false;
        bool isFolder = entry.back() == '\\';
        if (!EqualsNoCase(entry, segment)) {
            if (isFolder && !SkipFolder(list))
                return false;
            continue;
        }
        if (rest.empty())
            return true;
        // The folder's own entries follow its skip offset.
        uint32_t ignored = 0;
        if (isFolder && !ReadU32(list, ignored))
            return false;
        segment = TakeSegment(rest);
    }
}

void CFileDatabase::FreeCoreList() {
    coreList.clear();
    coreList.shrink_to_fit();
    coreListLength = 0;
}

} // namespace quillory
