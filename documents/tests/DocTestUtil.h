#pragma once
// Small helpers shared by the text tests.

#include <string>
#include <string_view>

#include <unicode/ustring.h>

namespace tovan::test {

inline std::string utf8(std::u16string_view s) {
    std::string out(s.size() * 3 + 1, '\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, s.data(), static_cast<int32_t>(s.size()),
                       0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<size_t>(n) : 0);
    return out;
}

inline std::u16string utf16(std::string_view s) {
    std::u16string out(s.size() + 1, u'\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, s.data(), static_cast<int32_t>(s.size()),
                         0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<size_t>(n) : 0);
    return out;
}

}  // namespace tovan::test
