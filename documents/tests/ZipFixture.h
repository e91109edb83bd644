#pragma once
// Builds small ZIP archives in memory for the reader tests, with knobs for
// the damage the reader has to survive (wrong sizes, ZIP64 fields, odd flags).

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

namespace tovan::test {

// Raw DEFLATE (no zlib header), as ZIP entries hold it.
inline std::string deflateRaw(const std::string& in, int level = 9) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, in.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline void put16(std::string& s, uint32_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}
inline void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
inline void put64(std::string& s, uint64_t v) {
    put32(s, uint32_t(v));
    put32(s, uint32_t(v >> 32));
}
inline void set32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xFF);
}

// A ZIP64 extended-information block holding the given values in order.
inline std::string zip64Extra(std::initializer_list<uint64_t> values, std::optional<uint16_t> declaredSize = {}) {
    std::string s;
    put16(s, 0x0001);
    put16(s, declaredSize ? *declaredSize : uint16_t(8 * values.size()));
    for (uint64_t v : values) put64(s, v);
    return s;
}

struct ZipFixture {
    struct Item {
        std::string name;
        std::string data;       // uncompressed bytes
        int method = 8;         // 0 stored, 8 DEFLATE, anything else as written
        uint16_t flags = 0;
        std::optional<std::string> raw;          // entry bytes as stored, instead of compressing data
        std::optional<uint32_t> compressedSize;  // central-directory fields as written
        std::optional<uint32_t> uncompressedSize;
        std::optional<uint32_t> localOffset;
        std::string extra;                       // central-directory extra field
        std::string comment;
    };

    std::vector<Item> items;
    std::string comment;
    uint16_t disk = 0, cdDisk = 0;
    std::optional<uint16_t> count16;  // end-record fields as written
    std::optional<uint32_t> cdSize32, cdOffset32;
    bool zip64 = false;               // write a ZIP64 end record and locator
    std::optional<uint64_t> zip64Count, zip64Size, zip64Offset, zip64RecordOffset;

    ZipFixture& add(std::string name, std::string data, int method = 8) {
        Item it;
        it.name = std::move(name);
        it.data = std::move(data);
        it.method = method;
        items.push_back(std::move(it));
        return *this;
    }

    std::string build() const {
        std::string out, cd;
        for (const Item& it : items) {
            const std::string body = it.raw ? *it.raw : it.method == 8 ? deflateRaw(it.data) : it.data;
            const auto offset = uint32_t(out.size());
            put32(out, 0x04034B50);
            put16(out, 20);
            put16(out, it.flags);
            put16(out, uint16_t(it.method));
            put32(out, 0);
            put32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(it.data.data()), uInt(it.data.size()))));
            put32(out, uint32_t(body.size()));
            put32(out, uint32_t(it.data.size()));
            put16(out, uint16_t(it.name.size()));
            put16(out, 0);
            out += it.name;
            out += body;

            put32(cd, 0x02014B50);
            put16(cd, 20);
            put16(cd, 20);
            put16(cd, it.flags);
            put16(cd, uint16_t(it.method));
            put32(cd, 0);
            put32(cd, 0);
            put32(cd, it.compressedSize.value_or(uint32_t(body.size())));
            put32(cd, it.uncompressedSize.value_or(uint32_t(it.data.size())));
            put16(cd, uint16_t(it.name.size()));
            put16(cd, uint16_t(it.extra.size()));
            put16(cd, uint16_t(it.comment.size()));
            put16(cd, 0);
            put16(cd, 0);
            put32(cd, 0);
            put32(cd, it.localOffset.value_or(offset));
            cd += it.name;
            cd += it.extra;
            cd += it.comment;
        }
        const uint64_t cdOffset = out.size();
        out += cd;
        if (zip64) {
            const uint64_t recordAt = out.size();
            put32(out, 0x06064B50);
            put64(out, 44);
            put16(out, 45);
            put16(out, 45);
            put32(out, 0);
            put32(out, 0);
            put64(out, zip64Count.value_or(items.size()));
            put64(out, zip64Count.value_or(items.size()));
            put64(out, zip64Size.value_or(cd.size()));
            put64(out, zip64Offset.value_or(cdOffset));
            put32(out, 0x07064B50);
            put32(out, 0);
            put64(out, zip64RecordOffset.value_or(recordAt));
            put32(out, 1);
        }
        put32(out, 0x06054B50);
        put16(out, disk);
        put16(out, cdDisk);
        put16(out, count16.value_or(zip64 ? 0xFFFF : uint16_t(items.size())));
        put16(out, count16.value_or(zip64 ? 0xFFFF : uint16_t(items.size())));
        put32(out, cdSize32.value_or(zip64 ? 0xFFFFFFFF : uint32_t(cd.size())));
        put32(out, cdOffset32.value_or(zip64 ? 0xFFFFFFFF : uint32_t(cdOffset)));
        put16(out, uint16_t(comment.size()));
        out += comment;
        return out;
    }
};

}  // namespace tovan::test
