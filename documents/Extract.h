#pragma once
// Extract turns every input that is not a PDF into one ExtractedDoc. This
// header holds the refusal type, the accepted MIME types, the builder for
// pasted text and the helpers the readers share; the readers themselves
// (files, HTML, Markdown, EPUB, Word, web articles) add their own entries.

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ExtractedDoc.h"

namespace tovan::Extract {

// A refusal the user reads: what() is the message in UTF-8.
class Unsupported : public std::exception {
public:
    explicit Unsupported(std::u16string_view message);
    const std::u16string& message() const { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }
    bool operator==(const Unsupported& o) const { return message_ == o.message_; }

private:
    std::u16string message_;
    std::string utf8_;
};

// Every message Extract raises.
inline constexpr std::u16string_view tooLargeToRead = u"This file is too large to read.";
inline constexpr std::u16string_view pdfFromPages = u"PDFs are read from their pages (PdfLayout).";
inline constexpr std::u16string_view cannotRead =
    u"TovanTTS can read PDF, EPUB, Word (.docx), web pages and text files.";
inline constexpr std::u16string_view tooLargeToOpen = u"This file is too large to open.";
inline constexpr std::u16string_view epubUnopenable = u"This EPUB could not be opened.";
inline constexpr std::u16string_view epubNoText = u"This EPUB has no text to read.";
inline constexpr std::u16string_view docxUnopenable = u"This Word file could not be opened.";

// The MIME types the extractors accept, in this order.
inline constexpr std::array<std::u16string_view, 7> mimeTypes = {
    u"application/pdf",
    u"application/epub+zip",
    u"application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    u"text/plain",
    u"text/html",
    u"text/markdown",
    u"text/x-markdown",
};

// Pasted text: cleaned into paragraphs; kind "text", no author, no source.
// The title is the given one (even empty), else the first words.
ExtractedDoc fromText(const std::u16string& text, const std::optional<std::u16string>& title = std::nullopt);

// Named HTML entities replaced (a fixed list of fourteen), then numeric ones.
std::u16string decode(const std::u16string& s);
// "&#NN;" and "&#xHH;" replaced: out of range or unparsable gives a blank,
// a surrogate code point gives U+FFFD.
std::u16string htmlNumericEntities(const std::u16string& s);

// Helpers shared by the readers.

// A title from the first paragraph: whole below 49 units, else cut at the
// last blank in the first 49 units (or at 48) and ended with "…". "Text" for
// no paragraphs.
std::u16string firstWords(const std::vector<std::u16string>& paragraphs);
// Tags to blanks, entities decoded, white space collapsed, trimmed; absent
// stays absent.
std::optional<std::u16string> clean(const std::optional<std::u16string>& s);
// Group 1 of the first match of pattern; absent when nothing matches or the
// group took no part.
std::optional<std::u16string> first(const std::optional<std::u16string>& text, std::u16string_view pattern);
// Bytes as text in whatever character set they are (Charset::decode); ""
// for absent data.
std::u16string str(std::optional<std::string_view> data);

}  // namespace tovan::Extract
