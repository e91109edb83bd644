#pragma once
// Markdown to plain text for reading aloud: code blocks and images go, links
// become their text, headings get the heading mark and a full stop, strong
// and emphasised spans the emphasis marks, quote markers go and list markers
// become "• ".

#include <string>

#include "Progress.h"

namespace tovan::Extract {

// Never fails; the result is not trimmed. Linear in the text. Reports to
// `progress` after each of its passes over the text.
std::u16string markdownToText(const std::u16string& markdown, const Progress& progress = {});

}  // namespace tovan::Extract
