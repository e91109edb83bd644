#include "Charset.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucsdet.h>
#include <unicode/utf8.h>

#include "Regex.h"

namespace tovan::Charset {

namespace {

constexpr size_t declarationWindow = 1024;     // where a page declares its charset
constexpr size_t detectionSample = 64 * 1024;  // what detection looks at

using Converter = std::unique_ptr<UConverter, decltype(&ucnv_close)>;

Converter open(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    Converter c(name.empty() ? nullptr : ucnv_open(name.c_str(), &status), &ucnv_close);
    if (U_FAILURE(status)) c.reset();
    return c;
}

// ICU's name for a charset label, nothing when ICU knows no such set. Labels
// that name Latin-1 or ASCII read as windows-1252, as browsers read them: the
// bytes 0x80-0x9F are then quotes and dashes, not control characters.
std::string known(std::u16string label) {
    label = trimmed(label);
    std::string name = u8(label);
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" || name == "us-ascii" || name == "ascii" ||
        name == "l1" || name == "cp819")
        return "windows-1252";
    const Converter c = open(name);
    if (!c) return {};
    UErrorCode status = U_ZERO_ERROR;
    const char* canonical = ucnv_getName(c.get(), &status);
    return U_SUCCESS(status) && canonical ? canonical : std::string();
}

std::string byteOrderMark(std::string_view b) {
    auto starts = [&](std::string_view mark) { return b.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF")) return "UTF-8";
    if (starts(std::string_view("\xFF\xFE\0\0", 4))) return "UTF-32LE";
    if (starts(std::string_view("\0\0\xFE\xFF", 4))) return "UTF-32BE";
    if (starts("\xFF\xFE")) return "UTF-16LE";
    if (starts("\xFE\xFF")) return "UTF-16BE";
    return {};
}

std::string fromContentType(const std::optional<std::u16string>& contentType) {
    if (!contentType) return {};
    const auto m = rx(u"(?i)\\bcharset\\s*=\\s*\"?([^\\s\";,]+)").find(*contentType);
    return m ? known(*m->group(1)) : std::string();
}

// <?xml ... encoding="..."?> or <meta charset=...> / <meta ... content="...;
// charset=..."> in the first kilobyte, read as ASCII.
std::string declared(std::string_view b) {
    const std::string_view head = b.substr(0, declarationWindow);
    std::u16string text(head.size(), u' ');
    std::transform(head.begin(), head.end(), text.begin(),
                   [](char c) { return char16_t(static_cast<unsigned char>(c)); });
    std::optional<JMatch> m = rx(u"(?i)^\\s*<\\?xml[^>]*?\\bencoding\\s*=\\s*[\"']([^\"']+)[\"']").find(text);
    if (!m) m = rx(u"(?i)<meta\\b[^>]*?\\bcharset\\s*=\\s*[\"']?([^\\s\"'/>;]+)").find(text);
    if (!m) return {};
    std::string name = known(*m->group(1));
    // The declaration was read as ASCII, so the bytes are not in UTF-16 or
    // UTF-32 whatever they say.
    if (name.rfind("UTF-16", 0) == 0 || name.rfind("UTF-32", 0) == 0) return "UTF-8";
    return name;
}

// UTF-8 with a few damaged sequences: at least as many well-formed multi-byte
// sequences as malformed ones. Such text reads best as UTF-8 with the damage
// replaced, not as a single-byte set that garbles every accent.
bool mostlyUtf8(std::string_view b) {
    size_t good = 0, bad = 0;
    const auto* p = reinterpret_cast<const uint8_t*>(b.data());
    for (size_t i = 0; i < b.size();) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        UChar32 c;
        int32_t at = 0;
        const int32_t len = int32_t(std::min<size_t>(b.size() - i, 4));
        U8_NEXT(p + i, at, len, c);
        if (c < 0) ++bad;
        else ++good;
        i += size_t(at);
    }
    return good >= bad && good > 0;
}

// Called once UTF-8 is ruled out, so a UTF-8 guess (which ICU makes for
// short texts) is passed over; windows-1252 when nothing else is likely.
std::string detected(std::string_view b) {
    const std::string fallback = "windows-1252";
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> det(ucsdet_open(&status), &ucsdet_close);
    if (U_FAILURE(status)) return fallback;
    const std::string_view sample = b.substr(0, detectionSample);
    ucsdet_setText(det.get(), sample.data(), int32_t(sample.size()), &status);
    ucsdet_enableInputFilter(det.get(), true);  // markup says nothing about the set
    int32_t found = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(det.get(), &found, &status);
    for (int32_t i = 0; U_SUCCESS(status) && matches && i < found; ++i) {
        const char* name = ucsdet_getName(matches[i], &status);
        if (U_FAILURE(status) || !name || std::string_view(name) == "UTF-8") continue;
        std::string set = known(u16(name));
        // Without a NUL byte the text is not UTF-16 or UTF-32, whatever a
        // few bytes suggest.
        const bool wide = set.rfind("UTF-16", 0) == 0 || set.rfind("UTF-32", 0) == 0;
        if (wide && sample.find('\0') == std::string_view::npos) continue;
        if (!set.empty()) return set;
    }
    return fallback;
}

// Every byte sequence the set does not allow becomes U+FFFD (single-byte
// sets would otherwise give their substitute, U+001A).
void replacement(const void*, UConverterToUnicodeArgs* args, const char*, int32_t, UConverterCallbackReason reason,
                 UErrorCode* status) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
    *status = U_ZERO_ERROR;
    const UChar fffd = 0xFFFD;
    ucnv_cbToUWriteUChars(args, &fffd, 1, 0, status);
}

std::u16string convert(std::string_view bytes, const std::string& name, const Progress& progress) {
    Converter c = open(name);
    if (!c) return u16(bytes, progress);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(c.get(), replacement, nullptr, nullptr, nullptr, &status);
    std::u16string out;
    out.resize(bytes.size() + 16);  // enough for every set but a few; grown below otherwise
    const char* source = bytes.data();
    const char* const sourceEnd = bytes.data() + bytes.size();
    size_t used = 0;
    // Fed in pieces, so that the work reports and can stop; the converter
    // keeps a sequence cut at a piece's end for the next one.
    constexpr size_t piece = size_t(1) << 23;
    for (;;) {
        const char* const pieceEnd = source + std::min<size_t>(piece, size_t(sourceEnd - source));
        const bool last = pieceEnd == sourceEnd;
        UChar* target = reinterpret_cast<UChar*>(out.data() + used);
        UChar* const targetEnd = reinterpret_cast<UChar*>(out.data() + out.size());
        status = U_ZERO_ERROR;
        ucnv_toUnicode(c.get(), &target, targetEnd, &source, pieceEnd, nullptr, last, &status);
        used = size_t(target - reinterpret_cast<UChar*>(out.data()));
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() + out.size() / 2 + 64);
            continue;
        }
        progress.at(size_t(source - bytes.data()), bytes.size());
        if (last || U_FAILURE(status)) break;
    }
    out.resize(used);
    if (used < out.capacity() / 4 * 3) out.shrink_to_fit();
    return out;
}

}  // namespace

std::string of(std::string_view bytes, const std::optional<std::u16string>& contentType) {
    std::string name = byteOrderMark(bytes);
    if (name.empty()) name = fromContentType(contentType);
    if (name.empty()) name = declared(bytes);
    if (name.empty() && (validUtf8(bytes) || mostlyUtf8(bytes))) name = "UTF-8";
    if (name.empty()) name = detected(bytes);
    return name.empty() ? "UTF-8" : name;
}

std::u16string decode(std::string_view bytes, const std::optional<std::u16string>& contentType,
                      const Progress& progress) {
    const std::string name = of(bytes, contentType);
    std::u16string text = name == "UTF-8" ? u16(bytes, progress) : convert(bytes, name, progress);
    if (!text.empty() && text[0] == u'\uFEFF') text.erase(0, 1);
    return text;
}

}  // namespace tovan::Charset
