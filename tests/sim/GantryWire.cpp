#include "tests/sim/GantryWire.h"

#include <zlib.h>

namespace quillory::test {

namespace {

void Put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

class Reader {
public:
    explicit Reader(const Bytes& b) : b_(b) {}
    bool U32(uint32_t& v) {
        if (at_ + 4 > b_.size())
            return false;
        v = U32At(b_, at_);
        at_ += 4;
        return true;
    }
    bool Text(std::string& t) {
        t.clear();
        while (at_ < b_.size() && b_[at_] != 0)
            t.push_back(char(b_[at_++]));
        return at_++ < b_.size();
    }
    bool AtEnd() const { return at_ == b_.size(); }

private:
    const Bytes& b_;
    size_t at_ = 0;
};

bool ReadNodes(Reader& r, const std::string& prefix, std::vector<DescribedFile>& files) {
    for (;;) {
        std::string name;
        if (!r.Text(name))
            return false;
        if (name.empty())
            return true;
        if (name.back() == '\\') {
            if (!ReadNodes(r, prefix + name, files))
                return false;
            continue;
        }
        DescribedFile f{prefix + name, 0, 0};
        if (!r.U32(f.size) || !r.U32(f.crc))
            return false;
        files.push_back(f);
    }
}

} // namespace

Bytes GantryHello(const std::string& password) {
    Bytes b;
    Put16(b, 0x03C3);
    Put16(b, 0);
    for (char c : password)
        b.push_back(uint8_t(c));
    b.push_back(0);
    return b;
}

Bytes GantrySendAll() {
    return {0xC3, 0x03, 0x01, 0x00};
}

Bytes GantrySendOne(uint16_t index) {
    Bytes b = {0xC3, 0x03, 0x02, 0x00};
    Put16(b, index);
    return b;
}

HelloReply ReadHelloReply(const Bytes& bytes) {
    HelloReply r;
    r.accepted = bytes.size() == 12 && U16At(bytes, 0) == 0x8000;
    r.refused = bytes.size() == 4 && U16At(bytes, 0) == 0x8001;
    if (r.accepted) {
        r.total = U16At(bytes, 2);
        r.tag = uint64_t(U32At(bytes, 4)) | uint64_t(U32At(bytes, 8)) << 32;
    }
    return r;
}

void ChunkSet::Add(const Bytes& d) {
    if (d.size() < 6) {
        ++badCrc;
        return;
    }
    const uint32_t crc = uint32_t(crc32(0, d.data(), uInt(d.size() - 4)));
    if (crc != U32At(d, d.size() - 4)) {
        ++badCrc;
        return;
    }
    chunks[U16At(d, 0)] = d;
}

std::optional<Bytes> ChunkSet::Description(uint16_t total) const {
    Bytes joined;
    for (uint16_t i = 0; i < total; ++i) {
        auto found = chunks.find(i);
        if (found == chunks.end() || found->second.size() < 6)
            return std::nullopt;
        const Bytes& chunk = found->second;
        for (size_t k = 2; k + 4 < chunk.size(); ++k)
            joined.push_back(chunk[k]);
    }
    if (joined.size() < 4)
        return std::nullopt;
    Bytes plain(U32At(joined, 0));
    uLongf size = uLongf(plain.size());
    if (uncompress(plain.data(), &size, joined.data() + 4, uLong(joined.size() - 4)) != Z_OK ||
        size != plain.size())
        return std::nullopt;
    return plain;
}

void CollectChunks(CUdpClient& client, ChunkSet& set, uint16_t total,
                   std::chrono::milliseconds quiet) {
    while (set.chunks.size() < total) {
        auto d = client.Receive(quiet);
        if (!d)
            return;
        set.Add(d->bytes);
    }
}

std::optional<OfferedList> ReadOfferedBytes(const Bytes& bytes) {
    Reader r(bytes);
    OfferedList list;
    uint32_t unused = 0, count = 0;
    if (!r.U32(unused))
        return std::nullopt;
    list.serverTexts.resize(10);
    for (std::string& text : list.serverTexts)
        if (!r.Text(text))
            return std::nullopt;
    if (!r.U32(count))
        return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
        OfferedPackage p;
        if (!r.Text(p.archivePath) || !r.U32(p.archiveSize) || !r.Text(p.name) ||
            !r.Text(p.homePage) || !r.Text(p.text3) || !r.Text(p.text4) || !r.U32(p.priority) ||
            !ReadNodes(r, "", p.files))
            return std::nullopt;
        list.packages.push_back(p);
    }
    if (!r.AtEnd())
        return std::nullopt;
    return list;
}

} // namespace quillory::test
