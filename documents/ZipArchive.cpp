#include "ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unicode/unistr.h>
#include <unicode/utf8.h>
#include <zlib.h>

namespace tovan {

namespace {

constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr int64_t kMaxReserve = 100000;

// DEFLATE cannot expand more than 1032 to 1 (258 bytes from two bits), so a
// declared size beyond that bound is a lie and is refused before allocating.
constexpr int64_t kMaxDeflateRatio = 1032;

std::string utf8Of(std::u16string_view s) {
    std::string out;
    icu::UnicodeString(false, s.data(), static_cast<int32_t>(s.size())).toUTF8String(out);
    return out;
}

// off + len <= n, without overflow; every argument is >= 0.
bool fits(int64_t off, int64_t len, int64_t n) { return off <= n && len <= n - off; }

bool validUtf8(std::string_view b) {
    int32_t i = 0;
    const auto len = static_cast<int32_t>(b.size());
    const auto* s = reinterpret_cast<const uint8_t*>(b.data());
    while (i < len) {
        UChar32 c;
        U8_NEXT(s, i, len, c);
        if (c < 0) return false;
    }
    return true;
}

std::u16string utf8Replacing(std::string_view b) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), static_cast<int32_t>(b.size())));
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

std::u16string decodeName(std::string_view b, int flags) {
    if (flags & 0x0800) return utf8Replacing(b);
    if (validUtf8(b)) return utf8Replacing(b);
    std::u16string out;
    out.reserve(b.size());
    for (unsigned char c : b) out.push_back(static_cast<char16_t>(c));
    return out;
}

}  // namespace

ZipArchive::Failure::Failure(Kind kind, std::u16string text) : kind_(kind), text_(std::move(text)) {
    const std::string t = utf8Of(text_);
    switch (kind_) {
    case Kind::notAZip: message_ = "This file is not a ZIP archive."; break;
    case Kind::corrupt: message_ = "The archive is damaged (" + t + ")."; break;
    case Kind::unsupported: message_ = "The archive uses something that cannot be read: " + t + "."; break;
    case Kind::tooLarge: message_ = "An entry of the archive is too large to read: " + t + "."; break;
    }
}

ZipArchive::ZipArchive(std::string_view data) : data_(data) { readCentralDirectory(); }

ZipArchive::ZipArchive(std::string&& data) : data_(std::move(data)) { readCentralDirectory(); }

ZipArchive ZipArchive::contentsOf(const std::filesystem::path& path) {
    const auto fail = [&](int err) {
        return std::system_error(err, std::generic_category(), "Could not read " + path.string());
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw fail(errno);
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw fail(err);
        }
        if (got == 0) break;
        bytes.append(buf, static_cast<size_t>(got));
    }
    ::close(fd);
    return ZipArchive(std::move(bytes));
}

namespace {

struct Reader {
    const std::string& d;
    uint32_t u16(int64_t at) const {
        const auto* p = reinterpret_cast<const uint8_t*>(d.data()) + at;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    }
    uint32_t u32(int64_t at) const {
        const auto* p = reinterpret_cast<const uint8_t*>(d.data()) + at;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    uint64_t u64(int64_t at) const { return uint64_t(u32(at)) | uint64_t(u32(at + 4)) << 32; }
};

// A 64-bit field read as a signed value; 2^63 and above is refused.
int64_t signed64(uint64_t v) {
    if (v > uint64_t(INT64_MAX)) throw ZipArchive::Failure::corrupt(u"ZIP64 value out of range");
    return static_cast<int64_t>(v);
}

}  // namespace

void ZipArchive::readCentralDirectory() {
    const auto n = static_cast<int64_t>(data_.size());
    const Reader r{data_};
    if (n < 22) throw Failure::notAZip();

    int64_t p = -1;
    const int64_t lowest = std::max<int64_t>(0, n - 22 - 65535);
    for (int64_t at = n - 22; at >= lowest; --at) {
        if (r.u32(at) == kEndSig) {
            p = at;
            break;
        }
    }
    if (p < 0) throw Failure::notAZip();

    if (r.u16(p + 4) != 0 || r.u16(p + 6) != 0) throw Failure::unsupported(u"split archive");
    int64_t count = r.u16(p + 10);
    int64_t size = r.u32(p + 12);
    int64_t offset = r.u32(p + 16);

    if (count == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF) {
        if (p < 20 || r.u32(p - 20) != kZip64LocatorSig) throw Failure::corrupt(u"ZIP64 locator");
        const int64_t end64 = signed64(r.u64(p - 12));
        if (!fits(end64, 56, n) || r.u32(end64) != kZip64EndSig) throw Failure::corrupt(u"ZIP64 end record");
        count = signed64(r.u64(end64 + 32));
        size = signed64(r.u64(end64 + 40));
        offset = signed64(r.u64(end64 + 48));
    }

    if (!fits(offset, size, n)) throw Failure::corrupt(u"central directory bounds");

    std::vector<Entry> list;
    list.reserve(static_cast<size_t>(std::min(count, kMaxReserve)));
    int64_t q = offset;
    for (int64_t i = 0; i < count; ++i) {
        if (!fits(q, 46, n) || r.u32(q) != kCentralSig) throw Failure::corrupt(u"central directory entry");
        Entry e;
        e.flags = static_cast<int>(r.u16(q + 8));
        e.method = static_cast<int>(r.u16(q + 10));
        e.compressedSize = r.u32(q + 20);
        e.uncompressedSize = r.u32(q + 24);
        const int64_t nameLen = r.u16(q + 28);
        const int64_t extraLen = r.u16(q + 30);
        const int64_t commentLen = r.u16(q + 32);
        e.localHeaderOffset = r.u32(q + 42);
        const int64_t recordLen = 46 + nameLen + extraLen + commentLen;
        if (!fits(q, recordLen, n)) throw Failure::corrupt(u"central directory entry");
        e.name = decodeName(std::string_view(data_).substr(static_cast<size_t>(q + 46), static_cast<size_t>(nameLen)),
                            e.flags);

        if (e.uncompressedSize == 0xFFFFFFFF || e.compressedSize == 0xFFFFFFFF || e.localHeaderOffset == 0xFFFFFFFF) {
            const int64_t extra = q + 46 + nameLen;
            int64_t pos = 0;
            while (pos + 4 <= extraLen) {
                const uint32_t id = r.u16(extra + pos);
                const int64_t blockSize = r.u16(extra + pos + 2);
                if (id != 0x0001) {
                    pos += 4 + blockSize;
                    continue;
                }
                // A block that claims more than the extra field holds is read
                // only as far as the field goes.
                const int64_t blockEnd = std::min(pos + 4 + blockSize, extraLen);
                int64_t cur = pos + 4;
                bool fitting = true;
                for (int64_t* field : {&e.uncompressedSize, &e.compressedSize, &e.localHeaderOffset}) {
                    if (*field != 0xFFFFFFFF) continue;
                    if (!fitting || cur + 8 > blockEnd) {
                        fitting = false;
                        continue;
                    }
                    *field = signed64(r.u64(extra + cur));
                    cur += 8;
                }
                break;
            }
        }
        list.push_back(std::move(e));
        q += recordLen;
    }
    entries_ = std::move(list);
}

const ZipArchive::Entry* ZipArchive::entry(std::u16string_view name) const {
    for (const Entry& e : entries_)
        if (e.name == name) return &e;
    return nullptr;
}

std::optional<std::string> ZipArchive::contents(std::u16string_view name, int64_t limit) const {
    const Entry* e = entry(name);
    if (!e) return std::nullopt;
    return contents(*e, limit);
}

std::string ZipArchive::contents(const Entry& e, int64_t limit) const {
    const auto n = static_cast<int64_t>(data_.size());
    const Reader r{data_};
    if (e.flags & 1) throw Failure::unsupported(u"encrypted entry " + e.name);
    // A stored entry hands back its compressed bytes, so those are held to the
    // limit too: a small declared size must not let a huge entry through.
    if (e.uncompressedSize > limit || (e.method == 0 && e.compressedSize > limit)) throw Failure::tooLarge(e.name);

    const int64_t o = e.localHeaderOffset;
    if (o < 0 || !fits(o, 30, n) || r.u32(o) != kLocalSig) throw Failure::corrupt(u"local header of " + e.name);
    const int64_t start = o + 30 + r.u16(o + 26) + r.u16(o + 28);
    if (e.compressedSize < 0 || start > n || !fits(start, e.compressedSize, n))
        throw Failure::corrupt(u"data of " + e.name);
    const char* src = data_.data() + start;
    const int64_t srcLen = e.compressedSize;

    if (e.method == 0) return std::string(src, static_cast<size_t>(srcLen));
    if (e.method != 8) {
        std::u16string text = u"compression method ";
        for (char c : std::to_string(e.method)) text.push_back(static_cast<char16_t>(c));
        text += u" (" + e.name;
        text += u")";
        throw Failure::unsupported(std::move(text));
    }

    const int64_t outLen = e.uncompressedSize;
    if (outLen == 0) return {};
    const Failure damaged = Failure::corrupt(u"deflate data of " + e.name);
    if (outLen < 0 || (outLen - 1024) / kMaxDeflateRatio > srcLen || uint64_t(outLen) > SIZE_MAX) throw damaged;

    std::string out(static_cast<size_t>(outLen), '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw damaged;
    int64_t inLeft = srcLen, outDone = 0;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(src));
    int rc = Z_OK;
    // zlib counts in 32 bits, so both sides are fed in slices. Decoding stops
    // when the declared size is reached: extra output is cut, not an error.
    while (outDone < outLen) {
        if (z.avail_in == 0 && inLeft > 0) {
            z.avail_in = static_cast<uInt>(std::min<int64_t>(inLeft, UINT_MAX));
            inLeft -= z.avail_in;
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data() + outDone);
        z.avail_out = static_cast<uInt>(std::min<int64_t>(outLen - outDone, UINT_MAX));
        const uInt outBefore = z.avail_out, inBefore = z.avail_in;
        rc = inflate(&z, Z_NO_FLUSH);
        outDone += outBefore - z.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) break;                      // damaged stream
        if (z.avail_out == outBefore && z.avail_in == inBefore) break;  // no progress: input ran out
    }
    inflateEnd(&z);
    if (outDone != outLen) throw damaged;
    return out;
}

}  // namespace tovan
