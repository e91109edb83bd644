#pragma once
// A small PDF writer for the tests and the benchmark: pages of Helvetica text
// placed at given points, optional pictures, any media box and rotation, a
// title, and the standard password encryption (RC4, 40-bit key), so that
// every kind of file the import must handle can be made on the spot.

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

namespace tovan::test {

struct PdfText {
    double x = 0, y = 0;  // baseline start, in the page's user space (y upward)
    double size = 12;
    // UTF-8, written in WinAnsi, so Latin-1 characters only; the bytes 1 and
    // 2 stand for the ligatures fi and fl, 3 for a soft hyphen and 4 for a
    // thin space.
    std::string text;
};

struct PdfPage {
    double x0 = 0, y0 = 0, x1 = 612, y1 = 792;  // media box
    std::optional<std::array<double, 4>> cropBox;
    std::vector<PdfText> texts;
    bool picture = false;  // a grey picture over the whole page, no text
    int rotate = 0;
};

struct PdfSpec {
    std::vector<PdfPage> pages;
    std::optional<std::string> title;  // UTF-8; written as UTF-16 when not ASCII
    // Encrypted when either is set; a user password is needed to open it.
    std::optional<std::string> userPassword, ownerPassword;
};

namespace pdfdetail {

inline std::string latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            out += '?';
            while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) ++i;
        }
    }
    return out;
}

inline std::string utf16be(const std::string& utf8) {
    const QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    std::string out = "\xFE\xFF";
    for (QChar c : s) {
        out += static_cast<char>(c.unicode() >> 8);
        out += static_cast<char>(c.unicode() & 0xFF);
    }
    return out;
}

inline std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out = "<";
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out + ">";
}

inline std::string literal(const std::string& bytes) {
    std::string out = "(";
    for (char c : bytes) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

inline std::string md5(const std::string& data) {
    const QByteArray d = QCryptographicHash::hash(QByteArray(data.data(), static_cast<qsizetype>(data.size())),
                                                  QCryptographicHash::Md5);
    return std::string(d.constData(), static_cast<size_t>(d.size()));
}

inline std::string rc4(const std::string& key, const std::string& data) {
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<unsigned char>(key[static_cast<size_t>(i) % key.size()])) & 255;
        std::swap(s[i], s[j]);
    }
    std::string out = data;
    for (size_t k = 0, i = 0, j = 0; k < out.size(); ++k) {
        i = (i + 1) & 255;
        j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        out[k] = static_cast<char>(out[k] ^ s[(s[i] + s[j]) & 255]);
    }
    return out;
}

inline std::string padded(const std::string& password) {
    static const unsigned char pad[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                          0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                          0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
    std::string out = password.substr(0, 32);
    out.append(reinterpret_cast<const char*>(pad), 32 - out.size());
    return out;
}

}  // namespace pdfdetail

// The bytes of a PDF file as described.
inline std::string makePdf(const PdfSpec& spec) {
    using namespace pdfdetail;
    const bool encrypted = spec.userPassword || spec.ownerPassword;
    const std::string fileId = "0123456789abcdef";
    const std::int32_t permissions = -4;
    std::string key, ownerEntry, userEntry;
    if (encrypted) {
        const std::string user = spec.userPassword.value_or("");
        const std::string owner = spec.ownerPassword.value_or(user);
        ownerEntry = rc4(md5(padded(owner)).substr(0, 5), padded(user));
        std::string p(4, '\0');
        for (int i = 0; i < 4; ++i) p[static_cast<size_t>(i)] = static_cast<char>((permissions >> (8 * i)) & 0xFF);
        key = md5(padded(user) + ownerEntry + p + fileId).substr(0, 5);
        userEntry = rc4(key, padded(""));
    }
    // Strings and streams of object n are encrypted with a key of their own.
    const auto seal = [&](int n, const std::string& data) {
        if (!encrypted) return data;
        std::string k = key;
        k += static_cast<char>(n & 0xFF);
        k += static_cast<char>((n >> 8) & 0xFF);
        k += static_cast<char>((n >> 16) & 0xFF);
        k += std::string(2, '\0');
        return rc4(md5(k).substr(0, 10), data);
    };

    // Objects: 1 catalogue, 2 page tree, 3 font, 4 info, 5 picture, 6 encryption,
    // then a page and its content for each page.
    std::vector<std::string> objects(6);
    const int firstPage = 7;
    std::string kids;
    for (size_t i = 0; i < spec.pages.size(); ++i) kids += std::to_string(firstPage + 2 * i) + " 0 R ";
    objects[0] = "<< /Type /Catalog /Pages 2 0 R >>";
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(spec.pages.size()) + " >>";
    objects[2] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Type /Encoding "
                 "/BaseEncoding /WinAnsiEncoding /Differences [1 /fi /fl /uni00AD /uni2009] >> >>";
    std::string info = "<< /Producer " + hex(seal(4, "tovan test writer"));
    if (spec.title) {
        bool ascii = true;
        for (unsigned char c : *spec.title) ascii = ascii && c < 0x80;
        info += " /Title " + hex(seal(4, ascii ? *spec.title : utf16be(*spec.title)));
    }
    objects[3] = info + " >>";
    const std::string pixels(64, '\x80');
    objects[4] = "<< /Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray /BitsPerComponent 8 "
                 "/Length " + std::to_string(pixels.size()) + " >>\nstream\n" + seal(5, pixels) + "\nendstream";
    objects[5] = encrypted ? "<< /Filter /Standard /V 1 /R 2 /Length 40 /O " + hex(ownerEntry) + " /U " +
                                 hex(userEntry) + " /P " + std::to_string(permissions) + " >>"
                           : "<< >>";
    for (size_t i = 0; i < spec.pages.size(); ++i) {
        const PdfPage& pg = spec.pages[i];
        const int pageObj = firstPage + 2 * static_cast<int>(i), contentObj = pageObj + 1;
        char box[160];
        std::snprintf(box, sizeof box, "[%g %g %g %g]", pg.x0, pg.y0, pg.x1, pg.y1);
        std::string crop;
        if (pg.cropBox) {
            char c[160];
            std::snprintf(c, sizeof c, " /CropBox [%g %g %g %g]", (*pg.cropBox)[0], (*pg.cropBox)[1], (*pg.cropBox)[2],
                          (*pg.cropBox)[3]);
            crop = c;
        }
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + std::string(box) + crop +
                          (pg.rotate ? " /Rotate " + std::to_string(pg.rotate) : std::string()) +
                          " /Resources << /Font << /F1 3 0 R >> /XObject << /Im1 5 0 R >> >> /Contents " +
                          std::to_string(contentObj) + " 0 R >>");
        std::string content;
        if (pg.picture) {
            char cm[160];
            std::snprintf(cm, sizeof cm, "q %g 0 0 %g %g %g cm /Im1 Do Q\n", pg.x1 - pg.x0, pg.y1 - pg.y0, pg.x0,
                          pg.y0);
            content += cm;
        }
        for (const PdfText& t : pg.texts) {
            char at[120];
            std::snprintf(at, sizeof at, "BT /F1 %g Tf %g %g Td ", t.size, t.x, t.y);
            content += at + literal(latin1(t.text)) + " Tj ET\n";
        }
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + seal(contentObj, content) +
                          "\nendstream");
    }

    std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char row[32];
        std::snprintf(row, sizeof row, "%010zu 00000 n \n", off);
        out += row;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R /Info 4 0 R /ID [" +
           hex(fileId) + hex(fileId) + "]" + (encrypted ? " /Encrypt 6 0 R" : "") + " >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

}  // namespace tovan::test
