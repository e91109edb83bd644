#pragma once
// A label of at most a given number of lines that ends in an ellipsis when
// its text does not fit, instead of being cut mid-word. Lines break between
// words; the last line takes the rest of the text, elided. text() stays the
// whole text, which is also the tool tip while any of it is hidden.

#include <QLabel>

namespace tovan {

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr, int maxLines = 1);
    ElidedLabel(const QString& text, QWidget* parent, int maxLines = 1);

    int maxLines() const { return maxLines_; }
    // The lines as drawn at the label's current width.
    QStringList shownLines() const;
    // Whether some of the text is hidden behind the ellipsis.
    bool elided() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return maxLines_ > 1; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QStringList linesFor(int width) const;
    void updateTip();

    int maxLines_;
};

}  // namespace tovan
