// Prints what the PDF import makes of a file: the positioned lines of every
// page, then the paragraphs ("# " in front of a heading) with their spans.
// A developer's tool for looking into the layout of real documents.
//
//   tovan-pdfdump FILE.pdf [--lines]

#include <cstdio>
#include <cstring>

#include "Extract.h"
#include "Regex.h"
#include "PdfImport.h"
#include "TextMarkers.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.pdf [--lines]\n", argv[0]);
        return 2;
    }
    const bool showLines = argc > 2 && std::strcmp(argv[2], "--lines") == 0;
    try {
        if (showLines)
            for (const tovan::PdfLayout::Line& l : tovan::PdfImport::lines(argv[1]))
                std::printf("page %lld  l %.1f t %.1f r %.1f b %.1f  (%.0f x %.0f)  %s\n",
                            static_cast<long long>(l.page), l.l, l.t, l.r, l.b, l.pw, l.ph, tovan::u8(l.text).c_str());
        const tovan::PdfImport::Result r = tovan::PdfImport::read(argv[1]);
        std::printf("title: %s\n", tovan::u8(r.title).c_str());
        for (size_t i = 0; i < r.paragraphs.size(); ++i) {
            const std::u16string& p = r.paragraphs[i];
            const bool heading = !p.empty() && p[0] == tovan::TextMarkers::head;
            std::printf("\n%s%s\n", heading ? "# " : "", tovan::u8(heading ? p.substr(1) : p).c_str());
            for (const tovan::PdfLayout::Span& s : r.spans[i])
                std::printf("  [page %lld, %lld..%lld, %.3f %.3f %.3f %.3f]\n", static_cast<long long>(s.page),
                            static_cast<long long>(s.start), static_cast<long long>(s.end), s.l, s.t, s.r, s.b);
        }
    } catch (const tovan::Extract::Unsupported& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
