#include "ZipArchive.h"

#include <filesystem>
#include <functional>
#include <random>
#include <system_error>

#include <gtest/gtest.h>

#include "ZipFixture.h"

using tovan::ZipArchive;
using tovan::test::put16;
using tovan::test::put32;
using tovan::test::put64;
using tovan::test::ZipFixture;
using tovan::test::zip64Extra;
using Failure = ZipArchive::Failure;

namespace {

constexpr int64_t kBig = int64_t(1) << 40;

// The failure an action throws, or nothing when it throws none.
std::optional<Failure> failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Failure& f) {
        return f;
    }
    return std::nullopt;
}

std::string endRecordOnly(std::string comment = {}) {
    ZipFixture z;
    z.comment = std::move(comment);
    return z.build();
}

}  // namespace

TEST(ZipArchive, ListsEntriesAndReadsStoredAndDeflated) {
    ZipFixture z;
    z.add("META-INF/", "", 0);
    z.add("META-INF/container.xml", "<container/>", 0);
    z.add("OEBPS/ch1.xhtml", std::string(5000, 'a') + "end", 8);
    const ZipArchive zip(z.build());

    ASSERT_EQ(zip.entries().size(), 3u);
    const auto& dir = zip.entries()[0];
    EXPECT_EQ(dir.name, u"META-INF/");
    EXPECT_TRUE(dir.isDirectory());
    EXPECT_EQ(zip.contents(dir, 0), "");
    EXPECT_FALSE(zip.entries()[1].isDirectory());
    EXPECT_EQ(zip.entries()[1].method, 0);
    EXPECT_EQ(zip.entries()[2].method, 8);
    EXPECT_EQ(zip.entries()[2].uncompressedSize, 5003);
    EXPECT_LT(zip.entries()[2].compressedSize, 100);

    EXPECT_EQ(zip.contents(u"META-INF/container.xml", 100), "<container/>");
    EXPECT_EQ(zip.contents(u"OEBPS/ch1.xhtml", 5003), std::string(5000, 'a') + "end");  // equal to the limit
    EXPECT_EQ(zip.contents(u"oebps/ch1.xhtml", 5003), std::nullopt);                    // case matters
    EXPECT_EQ(zip.entry(u"OEBPS/CH1.XHTML"), nullptr);
}

TEST(ZipArchive, FirstOfTwoEqualNamesWins) {
    ZipFixture z;
    z.add("a.txt", "first", 0).add("a.txt", "second", 0);
    const ZipArchive zip(z.build());
    ASSERT_NE(zip.entry(u"a.txt"), nullptr);
    EXPECT_EQ(zip.entry(u"a.txt"), &zip.entries()[0]);
    EXPECT_EQ(zip.contents(u"a.txt", 10), "first");
}

TEST(ZipArchive, FindsTheEndRecordWithinTheCommentWindow) {
    EXPECT_TRUE(ZipArchive(endRecordOnly()).entries().empty());
    EXPECT_EQ(endRecordOnly().size(), 22u);
    EXPECT_TRUE(ZipArchive(endRecordOnly(std::string(65535, 'c'))).entries().empty());
    EXPECT_EQ(failureOf([] { ZipArchive(endRecordOnly(std::string(65536, 'c'))); }), Failure::notAZip());

    // A signature inside the comment is nearer the end and wins: here it
    // is an empty end record, so the archive's real entry is not seen.
    ZipFixture z;
    z.add("a.txt", "x", 0);
    z.comment = "note:" + endRecordOnly();
    EXPECT_TRUE(ZipArchive(z.build()).entries().empty());
}

TEST(ZipArchive, NamesDecodeAsUtf8OrLatin1) {
    struct Case {
        std::string bytes;
        uint16_t flags;
        std::u16string name;
    } cases[] = {
        {"caf\xC3\xA9", 0, u"café"},
        {"caf\xC3\xA9", 0x0800, u"café"},
        {"caf\xE9", 0, u"café"},          // not UTF-8: ISO 8859-1
        {"caf\xE9", 0x0800, u"caf\uFFFD"},  // declared UTF-8: replaced
        {"\xED\xA0\x80x", 0, u"\u00ED\u00A0\u0080x"},  // an encoded surrogate is not UTF-8
    };
    for (const Case& c : cases) {
        ZipFixture z;
        z.add(c.bytes, "", 0);
        z.items[0].flags = c.flags;
        const ZipArchive zip(z.build());
        EXPECT_EQ(zip.entries()[0].name, c.name) << c.bytes;
    }
}

TEST(ZipArchive, Zip64EndRecordReplacesTheShortFields) {
    ZipFixture z;
    z.add("a.txt", "alpha", 0).add("b.txt", "beta", 8);
    z.zip64 = true;
    const ZipArchive zip(z.build());
    ASSERT_EQ(zip.entries().size(), 2u);
    EXPECT_EQ(zip.contents(u"b.txt", 10), "beta");

    // Only the offset at its maximum: all three still come from the record.
    ZipFixture one;
    one.add("a.txt", "alpha", 0);
    one.zip64 = true;
    one.count16 = 7;  // ignored once ZIP64 is taken
    one.cdSize32 = 1;
    one.cdOffset32 = 0xFFFFFFFF;
    EXPECT_EQ(ZipArchive(one.build()).entries().size(), 1u);
}

TEST(ZipArchive, Zip64ExtraFieldSuppliesTheMaximalSizes) {
    ZipFixture z;
    z.add("big.txt", "payload", 0);
    auto& it = z.items[0];
    it.uncompressedSize = 0xFFFFFFFF;
    it.compressedSize = 0xFFFFFFFF;
    std::string unknown;
    put16(unknown, 0x7075);
    put16(unknown, 3);
    unknown += "abc";
    it.extra = unknown + zip64Extra({7, 7});
    ZipArchive zip(z.build());
    EXPECT_EQ(zip.entries()[0].uncompressedSize, 7);
    EXPECT_EQ(zip.entries()[0].compressedSize, 7);
    EXPECT_EQ(zip.contents(u"big.txt", 7), "payload");

    // The block holds only the uncompressed size: the compressed one stays.
    it.extra = zip64Extra({7});
    const ZipArchive partial(z.build());
    EXPECT_EQ(partial.entries()[0].uncompressedSize, 7);
    EXPECT_EQ(partial.entries()[0].compressedSize, 0xFFFFFFFF);

    // A block that claims more than the extra field holds is read only as far
    // as the field goes.
    it.extra = zip64Extra({7}, 16);
    const ZipArchive claimed(z.build());
    EXPECT_EQ(claimed.entries()[0].uncompressedSize, 7);
    EXPECT_EQ(claimed.entries()[0].compressedSize, 0xFFFFFFFF);

    // The local header offset is taken third.
    it.uncompressedSize.reset();
    it.compressedSize.reset();
    it.localOffset = 0xFFFFFFFF;
    it.extra = zip64Extra({0});
    EXPECT_EQ(ZipArchive(z.build()).contents(u"big.txt", 7), "payload");
}

// Every failure of the reader, with the archive that raises it.
TEST(ZipArchive, FailureTable) {
    const auto plain = [] {
        ZipFixture z;
        z.add("a.txt", "hello", 0);
        return z;
    };
    struct Case {
        const char* what;
        std::function<std::string()> archive;
        Failure expected;
    };
    const Case directory[] = {
        {"too short", [] { return std::string(21, '\0'); }, Failure::notAZip()},
        {"no end record", [] { return std::string(4096, 'x'); }, Failure::notAZip()},
        {"split archive, this disk",
         [&] {
             auto z = plain();
             z.disk = 1;
             return z.build();
         },
         Failure::unsupported(u"split archive")},
        {"split archive, directory disk",
         [&] {
             auto z = plain();
             z.cdDisk = 2;
             return z.build();
         },
         Failure::unsupported(u"split archive")},
        {"0xFFFF entries without locator",
         [&] {
             auto z = plain();
             z.count16 = 0xFFFF;
             return z.build();
         },
         Failure::corrupt(u"ZIP64 locator")},
        {"ZIP64 needed before byte 20",
         [] {
             ZipFixture z;
             z.count16 = 0xFFFF;
             return z.build();
         },
         Failure::corrupt(u"ZIP64 locator")},
        {"locator points past the end",
         [&] {
             auto z = plain();
             z.zip64 = true;
             z.zip64RecordOffset = 1u << 20;
             return z.build();
         },
         Failure::corrupt(u"ZIP64 end record")},
        {"locator points at no record",
         [&] {
             auto z = plain();
             z.zip64 = true;
             z.zip64RecordOffset = 0;
             return z.build();
         },
         Failure::corrupt(u"ZIP64 end record")},
        {"locator offset of 2^63",
         [&] {
             auto z = plain();
             z.zip64 = true;
             z.zip64RecordOffset = uint64_t(1) << 63;
             return z.build();
         },
         Failure::corrupt(u"ZIP64 value out of range")},
        {"ZIP64 entry count of 2^63",
         [&] {
             auto z = plain();
             z.zip64 = true;
             z.zip64Count = uint64_t(1) << 63;
             return z.build();
         },
         Failure::corrupt(u"ZIP64 value out of range")},
        {"ZIP64 offset near 2^63 overflows offset + size",
         [&] {
             auto z = plain();
             z.zip64 = true;
             z.zip64Offset = uint64_t(INT64_MAX) - 10;
             z.zip64Size = 100;
             return z.build();
         },
         Failure::corrupt(u"central directory bounds")},
        {"directory past the end",
         [&] {
             auto z = plain();
             z.cdSize32 = 4096;
             return z.build();
         },
         Failure::corrupt(u"central directory bounds")},
        {"more entries than the directory holds",
         [&] {
             auto z = plain();
             z.count16 = 3;
             return z.build();
         },
         Failure::corrupt(u"central directory entry")},
        {"huge ZIP64 entry count",
         [&] {
             auto z = plain();
             z.zip64 = true;
             z.zip64Count = uint64_t(1) << 62;
             return z.build();
         },
         Failure::corrupt(u"central directory entry")},
        {"entry without its signature",
         [&] {
             auto z = plain();
             z.cdOffset32 = 0;  // the local header is there instead
             return z.build();
         },
         Failure::corrupt(u"central directory entry")},
        {"comment runs past the end",
         [&] {
             std::string s = plain().build();
             const size_t cd = s.find("PK\x01\x02");
             s[cd + 32] = char(0xFF);
             s[cd + 33] = char(0xFF);
             return s;
         },
         Failure::corrupt(u"central directory entry")},
        {"ZIP64 extra value of 2^63",
         [&] {
             auto z = plain();
             z.items[0].uncompressedSize = 0xFFFFFFFF;
             z.items[0].extra = zip64Extra({uint64_t(1) << 63});
             return z.build();
         },
         Failure::corrupt(u"ZIP64 value out of range")},
    };
    for (const Case& c : directory) {
        const std::string bytes = c.archive();
        EXPECT_EQ(failureOf([&] { ZipArchive zip(bytes); }), c.expected) << c.what;
    }

    struct EntryCase {
        const char* what;
        std::function<void(ZipFixture::Item&)> damage;
        int64_t limit;
        Failure expected;
    };
    const std::string text(4000, 't');
    const EntryCase entries[] = {
        {"encrypted", [](auto& it) { it.flags = 1; }, 100, Failure::unsupported(u"encrypted entry e.txt")},
        {"encrypted beats too large", [](auto& it) { it.flags = 1; }, 1, Failure::unsupported(u"encrypted entry e.txt")},
        {"deflated over the limit", [](auto&) {}, 3999, Failure::tooLarge(u"e.txt")},
        {"stored over the limit", [](auto& it) { it.method = 0; }, 3999, Failure::tooLarge(u"e.txt")},
        {"stored with a small declared size",
         [](auto& it) {
             it.method = 0;
             it.uncompressedSize = 10;
         },
         100, Failure::tooLarge(u"e.txt")},
        {"local header past the end", [](auto& it) { it.localOffset = 0x7FFFFFF0; }, kBig,
         Failure::corrupt(u"local header of e.txt")},
        {"no local header signature", [](auto& it) { it.localOffset = 1; }, kBig,
         Failure::corrupt(u"local header of e.txt")},
        {"data past the end", [](auto& it) { it.compressedSize = 0x7FFFFFFF; }, kBig, Failure::corrupt(u"data of e.txt")},
        {"ZIP64 compressed size near 2^63",
         [](auto& it) {
             it.compressedSize = 0xFFFFFFFF;
             it.extra = zip64Extra({uint64_t(INT64_MAX)});
             it.uncompressedSize.reset();
         },
         kBig, Failure::corrupt(u"data of e.txt")},
        {"other method", [](auto& it) { it.method = 12; }, kBig,
         Failure::unsupported(u"compression method 12 (e.txt)")},
        {"truncated stream", [&](auto& it) { it.raw = tovan::test::deflateRaw(text).substr(0, 10); }, kBig,
         Failure::corrupt(u"deflate data of e.txt")},
        {"garbage stream", [](auto& it) { it.raw = std::string(64, '\xFF'); }, kBig,
         Failure::corrupt(u"deflate data of e.txt")},
        {"stream shorter than declared", [](auto& it) { it.uncompressedSize = 4001; }, kBig,
         Failure::corrupt(u"deflate data of e.txt")},
        {"declared size no stream could reach", [](auto& it) { it.uncompressedSize = 0xFFFFFFF0; }, kBig,
         Failure::corrupt(u"deflate data of e.txt")},
    };
    for (const EntryCase& c : entries) {
        ZipFixture z;
        z.add("ok.txt", "fine", 8).add("e.txt", text, 8);
        c.damage(z.items[1]);
        const ZipArchive zip(z.build());
        EXPECT_EQ(failureOf([&] { zip.contents(zip.entries()[1], c.limit); }), c.expected) << c.what;
        // A failed entry leaves the archive usable.
        EXPECT_EQ(zip.contents(u"ok.txt", 10), "fine") << c.what;
    }
}

TEST(ZipArchive, FailuresReadAsSentences) {
    EXPECT_STREQ(Failure::notAZip().what(), "This file is not a ZIP archive.");
    EXPECT_STREQ(Failure::corrupt(u"data of a.xhtml").what(), "The archive is damaged (data of a.xhtml).");
    EXPECT_STREQ(Failure::tooLarge(u"a.xhtml").what(), "An entry of the archive is too large to read: a.xhtml.");
    EXPECT_EQ(Failure::notAZip().text(), u"");
    EXPECT_NE(Failure::corrupt(u"x"), Failure::unsupported(u"x"));
}

TEST(ZipArchive, DeflateOutputIsHeldToTheDeclaredSize) {
    const std::string zeros(16 << 20, '\0');  // 16 MiB that packs into a few KB
    ZipFixture z;
    z.add("bomb.xhtml", zeros, 8);
    {
        const ZipArchive zip(z.build());
        EXPECT_LT(zip.entries()[0].compressedSize, 64 << 10);
        EXPECT_EQ(failureOf([&] { zip.contents(zip.entries()[0], 1 << 20); }), Failure::tooLarge(u"bomb.xhtml"));
    }
    // A bomb that understates its size is cut at what it declares.
    z.items[0].uncompressedSize = 1000;
    const ZipArchive liar(z.build());
    EXPECT_EQ(liar.contents(liar.entries()[0], 1 << 20), std::string(1000, '\0'));

    // A declared size of 0 returns nothing without decoding.
    z.items[0].uncompressedSize = 0;
    z.items[0].raw = std::string(10, '\xFF');
    const ZipArchive empty(z.build());
    EXPECT_EQ(empty.contents(empty.entries()[0], 0), "");
}

TEST(ZipArchive, StoredEntryReturnsItsCompressedBytes) {
    ZipFixture z;
    z.add("s.txt", "stored bytes", 0);
    z.items[0].uncompressedSize = 3;
    const ZipArchive zip(z.build());
    EXPECT_EQ(zip.contents(zip.entries()[0], 12), "stored bytes");
    EXPECT_EQ(failureOf([&] { zip.contents(zip.entries()[0], 11); }), Failure::tooLarge(u"s.txt"));
}

// Damaged copies of a real-looking archive: every one reads or fails with a
// Failure, never anything else (the sanitizer run watches for the rest).
TEST(ZipArchive, SurvivesTruncationAndBitFlips) {
    ZipFixture z;
    z.add("META-INF/container.xml", "<container><rootfile full-path=\"c.opf\"/></container>", 8);
    z.add("c.opf", std::string(3000, 'o'), 8);
    z.add("dir/", "", 0);
    z.add("s.txt", "stored", 0);
    z.items[1].extra = zip64Extra({3000});
    z.items[1].uncompressedSize = 0xFFFFFFFF;
    const std::string good = z.build();
    std::mt19937 rng(1234);
    const auto attempt = [](const std::string& bytes) {
        try {
            const ZipArchive zip(bytes);
            for (const auto& e : zip.entries()) {
                try {
                    (void)zip.contents(e, 1 << 20);
                } catch (const Failure&) {
                }
            }
        } catch (const Failure&) {
        }
    };
    for (size_t cut = 0; cut <= good.size(); ++cut) attempt(good.substr(0, cut));
    for (int round = 0; round < 3000; ++round) {
        std::string bad = good;
        const int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i) bad[rng() % bad.size()] ^= char(1 << (rng() % 8));
        attempt(bad);
    }
    SUCCEED();
}

TEST(ZipArchive, ReadsFilesAndPassesReadingErrorsOn) {
    EXPECT_THROW(ZipArchive::contentsOf("/nonexistent/book.epub"), std::system_error);
    const std::filesystem::path real = "/usr/share/doc/live-manual/epub/live-manual.en.epub";
    if (!std::filesystem::exists(real)) GTEST_SKIP() << "live-manual-epub is not installed";
    const ZipArchive zip = ZipArchive::contentsOf(real);
    const auto container = zip.contents(u"META-INF/container.xml", 1 << 20);
    ASSERT_TRUE(container);
    EXPECT_NE(container->find("full-path=\"OEBPS/content.opf\""), std::string::npos);
    for (const auto& e : zip.entries())
        if (!e.isDirectory()) {
            EXPECT_EQ(zip.contents(e, 16 << 20).size(), size_t(e.uncompressedSize));
        }
}
