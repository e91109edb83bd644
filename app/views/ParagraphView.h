#pragma once
// One paragraph of the reader: its sentences as one run of text in which each
// sentence links to itself ("tovantts://sentence/<index>"), emphasised runs
// are italic, the heading mark is hidden and the heard sentence is lit in the
// accent colours.
//
// A plain value: the reader keeps one per row and draws a row again only when
// its value changes, so moving the heard sentence redraws just the paragraph
// it leaves and the one it enters.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QFont>
#include <QString>

class QTextCursor;
class QUrl;

namespace tovan {

class Doc;

class ParagraphView {
public:
    // A stretch of text with one set of attributes.
    struct Run {
        QString text;
        bool emphasized = false;
        bool operator==(const Run&) const = default;
    };
    // One piece of the paragraph's text: a sentence (its link set, maybe lit)
    // or the plain space between two sentences (no link).
    struct Span {
        QString text;
        QString link;  // empty for a separating space
        bool emphasized = false;
        bool highlighted = false;
        bool operator==(const Span&) const = default;
    };

    ParagraphView(std::shared_ptr<const Doc> doc, std::vector<int64_t> sentences, std::optional<int64_t> current,
                  double size);

    const std::shared_ptr<const Doc>& doc() const { return doc_; }
    const std::vector<int64_t>& sentences() const { return sentences_; }
    std::optional<int64_t> current() const { return current_; }
    double size() const { return size_; }

    // The first sentence carries the heading mark.
    bool heading() const;
    // The paragraph's text, span by span; the same for headings and body text.
    std::vector<Span> attributed() const;
    // One sentence's text as runs: marks dropped, emphasis between the marks.
    static std::vector<Run> styled(const std::u16string& sentence);
    // "tovantts://sentence/42".
    static QString link(int64_t sentence);

    QFont font() const;
    // Extra space between lines and above the paragraph, in pixels.
    double lineSpacing() const { return size_ * 0.3; }
    double topPadding() const { return heading() ? size_ * 0.8 : 0.0; }

    // Writes the paragraph at the cursor (into its current block, which gets
    // the paragraph's spacing). `text` is the ordinary text colour; the accent
    // colours light the heard sentence.
    void render(QTextCursor& cursor, const QColor& text, const QColor& accent, const QColor& accentSoft) const;

    bool operator==(const ParagraphView& other) const;

private:
    std::shared_ptr<const Doc> doc_;
    std::vector<int64_t> sentences_;
    std::optional<int64_t> current_;
    double size_;
};

}  // namespace tovan
