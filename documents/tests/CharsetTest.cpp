#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Charset.h"
#include "DocTestUtil.h"
#include "ExtractDocument.h"
#include "Regex.h"

namespace tovan {
namespace {

using test::utf8;

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += char(b);
    return s;
}

const std::string frenchLatin1 =
    "Le caf\xE9 \xE9tait ferm\xE9, et la for\xEAt pr\xE8s de l'\xE9glise restait d\xE9serte. "
    "\xC0 l'aube, les p\xEA" "cheurs rentr\xE8rent \xE0 la maison o\xF9 l'on pr\xE9parait le d\xEEner.";
const std::u16string frenchText =
    u"Le café était fermé, et la forêt près de l'église restait déserte. "
    u"À l'aube, les pêcheurs rentrèrent à la maison où l'on préparait le dîner.";

TEST(Charset, DecodesByMarkHeaderDeclarationOrDetection) {
    struct Case {
        const char* what;
        std::string bytes;
        std::optional<std::u16string> contentType;
        std::u16string text;
    };
    const Case cases[] = {
        {"UTF-16LE mark", bytes({0xFF, 0xFE, 'h', 0, 'i', 0, 0xE9, 0}), std::nullopt, u"hié"},
        {"UTF-16BE mark", bytes({0xFE, 0xFF, 0, 'h', 0, 'i'}), std::nullopt, u"hi"},
        {"UTF-32LE mark", bytes({0xFF, 0xFE, 0, 0, 'h', 0, 0, 0}), std::nullopt, u"h"},
        {"UTF-8 mark", "\xEF\xBB\xBFhi", std::nullopt, u"hi"},
        {"a mark beats the header", bytes({0xFF, 0xFE, 'h', 0}), u"text/plain; charset=iso-8859-1", u"h"},
        {"header", "caf\xE9", u"text/html; charset=ISO-8859-1", u"café"},
        {"header beats the page",
         "<meta charset=\"utf-8\">caf\xE9", u"text/html; charset=windows-1252", u"<meta charset=\"utf-8\">café"},
        {"meta charset", "<html><head><meta charset=iso-8859-1></head>caf\xE9", std::nullopt,
         u"<html><head><meta charset=iso-8859-1></head>café"},
        {"meta http-equiv",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\xCC\xE8\xF0", std::nullopt,
         u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">Мир"},
        {"xml declaration", "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><p>\xA4</p>", std::nullopt,
         u"<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><p>€</p>"},
        {"a page read as ASCII is not UTF-16", "<meta charset=\"utf-16\">caf\xC3\xA9", std::nullopt,
         u"<meta charset=\"utf-16\">café"},
        {"unknown header: the page decides", "<meta charset=\"koi8-r\">\xCD\xC9\xD2", u"text/html; charset=nonsense",
         u"<meta charset=\"koi8-r\">мир"},
        {"UTF-8", "caf\xC3\xA9", std::nullopt, u"café"},
        {"damaged UTF-8", "caf\xC3\xA9 \xFF", std::nullopt, u"café \uFFFD"},
        {"bad bytes in the named set", "caf\xC3", u"text/plain; charset=utf-8", u"caf\uFFFD"},
        {"a byte the set leaves undefined", "\xE1 \xD2", u"text/plain; charset=iso-8859-7",
         u"α \uFFFD"},
        {"odd UTF-16 length", bytes({0xFF, 0xFE, 'h', 0, 'i'}), std::nullopt, u"h\uFFFD"},
        {"detected Latin-1", frenchLatin1, std::nullopt, frenchText},
        {"empty", "", std::nullopt, u""},
    };
    for (const Case& c : cases) EXPECT_EQ(utf8(Charset::decode(c.bytes, c.contentType)), utf8(c.text)) << c.what;
}

// Files go through the same decoding as pages.
TEST(Charset, FilesOfEveryKindAreDecoded) {
    const std::string utf16 = bytes({0xFF, 0xFE, 'O', 0, 'n', 0, 'e', 0, '.', 0});
    EXPECT_EQ(Extract::document(utf16, u"a.txt", std::nullopt, std::nullopt).paragraphs,
              std::vector<std::u16string>{u"One."});
    const std::string html = "<html><head><meta charset=\"iso-8859-1\"><title>Caf\xE9</title></head>"
                             "<body><p>Un caf\xE9.</p></body></html>";
    const ExtractedDoc doc = Extract::document(html, u"a.html", std::nullopt, std::nullopt);
    EXPECT_EQ(doc.title, u"Café");
    EXPECT_EQ(doc.paragraphs, std::vector<std::u16string>{u"Un café."});
    EXPECT_EQ(Extract::document(frenchLatin1, u"a.md", std::nullopt, std::nullopt).paragraphs,
              std::vector<std::u16string>{frenchText});
}

// Large texts are decoded in pieces of 8 MiB: a character whose bytes
// straddle a piece's end comes out whole, in every multi-byte set.
TEST(Charset, ACharacterAcrossTwoPiecesComesOutWhole) {
    const std::u16string clef = u"\U0001D11E";  // two UTF-16 units, four bytes in UTF-8 and UTF-16
    const size_t piece = size_t(1) << 23;
    struct Case {
        const char* what;
        std::string mark;
        std::string (*encode)(const std::u16string&);
    } cases[] = {
        {"UTF-8", "", [](const std::u16string& t) { return u8(t); }},
        {"UTF-16LE", "\xFF\xFE",
         [](const std::u16string& t) {
             std::string b;
             for (char16_t c : t) b += {char(c & 0xFF), char(c >> 8)};
             return b;
         }},
    };
    for (const Case& c : cases) {
        for (size_t shift = 0; shift < 4; ++shift) {
            SCOPED_TRACE(std::string(c.what) + ", shifted by " + std::to_string(shift));
            // ASCII up to just before the piece's end, then the clef across it.
            const size_t unitBytes = c.mark.empty() ? 1 : 2;
            const size_t lead = (piece - c.mark.size()) / unitBytes - 2 + shift;
            const std::u16string text = std::u16string(lead, u'a') + clef + u" end";
            const std::u16string out = Charset::decode(c.mark + c.encode(text), std::nullopt,
                                                       Progress([](double) {}));
            ASSERT_EQ(out.size(), text.size());
            EXPECT_EQ(out.substr(lead - 1), u"a" + clef + u" end");
        }
    }
}

}  // namespace
}  // namespace tovan
