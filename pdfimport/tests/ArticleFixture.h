#pragma once
// A generated two-column article: a title across both columns on the first
// page, numbered section headings, paragraphs that flow from the left column
// into the right one and on to the next page, a running header and a page
// number on every page. Alongside the PDF it gives the paragraphs a reader
// should get back, so that the whole import can be checked against it.

#include <cstdint>
#include <string>
#include <vector>

#include "PdfWriter.h"

namespace tovan::test {

struct Article {
    PdfSpec spec;
    // The paragraphs in reading order; a heading starts with "# ".
    std::vector<std::string> expected;
    // The page index of each row of text, for checks on spans.
    int pages = 0;
};

inline Article twoColumnArticle(int pages, std::uint32_t seed = 1) {
    static const char* words[] = {"page",  "layout", "reader", "column", "text",  "line",   "order",  "word",
                                  "read",  "first",  "second", "simple", "model", "value",  "table",  "point",
                                  "right", "left",   "space",  "every",  "small", "large",  "rule",   "check",
                                  "paper", "result", "method", "study",  "number", "gives", "keeps",  "after"};
    std::uint32_t state = seed;
    const auto next = [&state](std::uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    const auto sentence = [&] {
        std::string s;
        const std::uint32_t n = 6 + next(9);
        for (std::uint32_t i = 0; i < n; ++i) {
            std::string w = words[next(std::size(words))];
            if (i == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
            s += (i ? " " : "") + w;
        }
        return s + ".";
    };

    // Rows of text: 40 per column, 12 pt apart, baselines from 650 down;
    // the first page starts lower, under the title.
    // Columns of up to 50 characters: wider than a quarter of the page, each
    // within its half.
    const int rows = 40, maxChars = 50;
    const double colX[2] = {54, 324};
    Article a;
    a.pages = pages;
    a.spec.title = "A Study of Two Column Pages";
    a.spec.pages.resize(static_cast<size_t>(pages));
    for (int p = 0; p < pages; ++p) {
        PdfPage& pg = a.spec.pages[static_cast<size_t>(p)];
        pg.texts.push_back({72, 760, 9, "Journal of Layout Tests"});
        pg.texts.push_back({270, 30, 9, "Page " + std::to_string(p + 1) + " of " + std::to_string(pages)});
    }
    a.spec.pages[0].texts.push_back({150, 690, 18, "A Study of Two Column Pages"});
    a.expected.push_back("# A Study of Two Column Pages");

    int page = 0, col = 0, row = 4;  // the current slot
    bool full = false;
    // Places one line; false when the article has no room left.
    const auto place = [&](const std::string& text, double indent) {
        if (full) return false;
        a.spec.pages[static_cast<size_t>(page)].texts.push_back({colX[col] + indent, 650.0 - 12.0 * row, 10, text});
        if (++row == rows) {
            row = 0;
            if (++col == 2) {
                col = 0;
                if (++page == pages) full = true;
            }
        }
        return true;
    };
    const auto atColumnTop = [&] { return row == 0; };

    for (int section = 1; !full; ++section) {
        // A heading, with a blank row above it unless it opens a column.
        if (!atColumnTop() && a.expected.size() > 1) place("", 0);
        const std::string heading = std::to_string(section) + " Section " + std::to_string(section) + " Of The Study";
        if (!place(heading, 0)) break;
        a.expected.push_back("# " + heading);
        for (int para = 0; para < 3 && !full; ++para) {
            std::string text;
            for (std::uint32_t n = 3 + next(4); n > 0; --n) text += (text.empty() ? "" : " ") + sentence();
            // Word-wrap; the first line is indented unless it follows the heading.
            const double indent = para == 0 ? 0 : 12;
            std::string lineText, done;
            bool first = true;
            const auto flush = [&] {
                const bool bottom = row == rows - 1;
                if (!place(lineText, first ? indent : 0)) return false;
                done += (done.empty() ? "" : " ") + lineText;
                // A sentence that ends at the foot of a column cannot be told
                // from a paragraph's end: the reader starts a new paragraph.
                if (bottom && lineText.back() == '.') {
                    a.expected.push_back(done);
                    done.clear();
                }
                first = false;
                lineText.clear();
                return true;
            };
            size_t pos = 0;
            bool room = true;
            while (room && pos < text.size()) {
                size_t end = text.find(' ', pos);
                if (end == std::string::npos) end = text.size();
                const std::string w = text.substr(pos, end - pos);
                pos = end + 1;
                const size_t limit = static_cast<size_t>(first && indent > 0 ? maxChars - 3 : maxChars);
                if (!lineText.empty() && lineText.size() + 1 + w.size() > limit) room = flush();
                lineText += (lineText.empty() ? "" : " ") + w;
            }
            if (room && !lineText.empty()) room = flush();
            if (!done.empty()) a.expected.push_back(done);
            if (!room) break;
        }
    }
    return a;
}

}  // namespace tovan::test
