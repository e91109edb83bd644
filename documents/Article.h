#pragma once
// A fetched web page turned into readable text: whether a pasted text is a
// web link, the link in it, the page's bytes decoded with the declared
// character set, and the title and paragraphs of the article. Fetching is
// the caller's: these functions take the bytes and the address. None fails.

#include <optional>
#include <string>
#include <string_view>

namespace tovan {

struct Article {
    // The cleaned page title; present when the page has one, even empty.
    std::optional<std::u16string> title;
    // One paragraph a line, the title line first when there is a title.
    std::u16string text;
    // The page's address as given to extract.
    std::optional<std::u16string> url;

    bool operator==(const Article&) const = default;

    static constexpr int maxChars = 20000;      // the body is cut near here (UTF-16 units)

    // True when the text is essentially one web link ("https?://\S+" with
    // fewer than 100 other units around it).
    static bool isLink(const std::u16string& text);
    // The link in such a text, "http://" made "https://"; nothing when the
    // text is no link or the link does not parse as a URL.
    static std::optional<std::u16string> link(const std::u16string& text);
    // The page's bytes as text (Charset::decode with the Content-Type).
    static std::u16string textOf(std::string_view bytes, const std::optional<std::u16string>& contentType);
    // Title and article paragraphs of a page; near linear in the page.
    static Article extract(const std::u16string& html, const std::optional<std::u16string>& url);

    // Tags to blanks, the named references of pages and numeric references
    // decoded, white space collapsed, trimmed.
    static std::u16string clean(const std::u16string& markup);
};

}  // namespace tovan
