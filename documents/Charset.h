#pragma once
// Bytes of a text file or a fetched page into text, whatever their
// character set. Every reader decodes through here.

#include <optional>
#include <string>
#include <string_view>

#include "Progress.h"

namespace tovan::Charset {

// The character set the bytes are in, by the first rule that names a known
// one: a byte-order mark; the charset of an HTTP Content-Type; the charset an
// HTML or XML document declares near its start; UTF-8 (well-formed, or
// with fewer damaged sequences than good ones); ICU's detection. UTF-8 when none does. Names are ICU's canonical names.
std::string of(std::string_view bytes, const std::optional<std::u16string>& contentType = std::nullopt);

// The bytes decoded in the set `of` finds, without the byte-order mark.
// Bytes the set does not allow become U+FFFD; decoding never fails (it
// stops only when `progress` is cancelled).
std::u16string decode(std::string_view bytes, const std::optional<std::u16string>& contentType = std::nullopt,
                      const Progress& progress = {});

}  // namespace tovan::Charset
