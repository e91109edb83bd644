// HTML as a file and as a fetched page: the document reader, and the page's
// decoding (with the first byte's low bit asking for a Content-Type charset)
// and article extraction.
// links: tovandocuments
#include "Article.h"
#include "ExtractDocument.h"
#include "document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view bytes((const char *)data, size);
  fuzz::read_document([&] { return tovan::Extract::document(bytes, u"fuzz.html", std::nullopt, std::nullopt); });
  std::optional<std::u16string> type;
  if (size > 0 && (data[0] & 1)) type = u"text/html; charset=windows-1251";
  const std::u16string html = tovan::Article::textOf(bytes, type);
  const tovan::Article article = tovan::Article::extract(html, u"https://example.org/page");
  fuzz::check_document(tovan::Extract::fromArticle(article, std::nullopt));
  return 0;
}
