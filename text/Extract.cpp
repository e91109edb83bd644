#include "Extract.h"

#include <unicode/ustring.h>

namespace tovan::Extract {

namespace {

std::string toUtf8(std::u16string_view s) {
    std::string out;
    if (s.empty()) return out;
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strToUTF8WithSub(nullptr, 0, &needed, s.data(), static_cast<int32_t>(s.size()), 0xFFFD, nullptr, &status);
    status = U_ZERO_ERROR;
    out.resize(static_cast<size_t>(needed));
    u_strToUTF8WithSub(out.data(), needed, &needed, s.data(), static_cast<int32_t>(s.size()), 0xFFFD, nullptr,
                       &status);
    if (U_FAILURE(status)) out.clear();
    return out;
}

}  // namespace

Unsupported::Unsupported(std::u16string_view message) : message_(message), utf8_(toUtf8(message_)) {}

}  // namespace tovan::Extract
