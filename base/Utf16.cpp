#include "Utf16.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

namespace tovan::Utf16 {

namespace {

template <class Map>
std::u16string caseMapped(std::u16string_view s, Map map) {
    std::u16string out(s.size() + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = map(out.data(), static_cast<int32_t>(out.size()), s.data(), static_cast<int32_t>(s.size()), "",
                    &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<size_t>(n), u'\0');
        status = U_ZERO_ERROR;
        n = map(out.data(), n, s.data(), static_cast<int32_t>(s.size()), "", &status);
    }
    if (U_FAILURE(status)) return std::u16string(s);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace

bool isWhitespace(char16_t c) {
    if ((c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F)) return true;
    if (c == 0x00A0 || c == 0x2007 || c == 0x202F || U16_IS_SURROGATE(c)) return false;
    const int8_t type = u_charType(c);
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

bool isDigit(char16_t c) {
    return !U16_IS_SURROGATE(c) && u_charType(c) == U_DECIMAL_DIGIT_NUMBER;
}

bool isLetter(char16_t c) {
    if (U16_IS_SURROGATE(c)) return false;
    switch (u_charType(c)) {
    case U_UPPERCASE_LETTER:
    case U_LOWERCASE_LETTER:
    case U_TITLECASE_LETTER:
    case U_MODIFIER_LETTER:
    case U_OTHER_LETTER:
        return true;
    default:
        return false;
    }
}

bool isUpper(char16_t c) {
    return !U16_IS_SURROGATE(c) && u_hasBinaryProperty(c, UCHAR_UPPERCASE);
}

bool isLower(char16_t c) {
    return !U16_IS_SURROGATE(c) && u_hasBinaryProperty(c, UCHAR_LOWERCASE);
}

std::u16string_view trimView(std::u16string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && s[a] <= u' ') ++a;
    while (b > a && s[b - 1] <= u' ') --b;
    return s.substr(a, b - a);
}

std::u16string trim(std::u16string_view s) {
    return std::u16string(trimView(s));
}

std::u16string lowercased(std::u16string_view s) { return caseMapped(s, u_strToLower); }

std::u16string uppercased(std::u16string_view s) { return caseMapped(s, u_strToUpper); }

}  // namespace tovan::Utf16
