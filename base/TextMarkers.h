#pragma once
// The inline narration marks that travel inside paragraph text: private-use
// characters, so they never clash with real text.

namespace tovan::TextMarkers {

inline constexpr char16_t on = u'\uE000';    // emphasis on
inline constexpr char16_t off = u'\uE001';   // emphasis off
inline constexpr char16_t head = u'\uE002';  // the paragraph is a heading

}  // namespace tovan::TextMarkers
