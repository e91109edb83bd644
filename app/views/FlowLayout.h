#pragma once
// A layout that places its children left to right at their ideal sizes and
// wraps onto a further row when the next child would pass the right edge.
// Rows are left-aligned, children top-aligned within a row; a child wider than
// the whole width sits alone on its row and runs past the edge (nothing is
// shrunk or clipped).

#include <QLayout>
#include <QList>
#include <QSizeF>

#include <optional>
#include <vector>

namespace tovan {

class Flow : public QLayout {
public:
    // `spacing` is used between neighbours in a row and between rows.
    explicit Flow(qreal spacing = 6, QWidget* parent = nullptr);
    ~Flow() override;

    qreal flowSpacing() const { return spacing_; }

    // Width and height the children take within maxWidth. The width counts
    // the spacing after the last child of the widest row. No children: (0, 0).
    static QSizeF arrange(qreal maxWidth, const std::vector<QSizeF>& sizes, qreal spacing);
    // The size for a proposed width (none: unbounded): the proposed width when
    // given, else the arranged width; always the arranged height.
    static QSizeF sizeThatFits(std::optional<qreal> proposedWidth, const std::vector<QSizeF>& sizes, qreal spacing);
    // Top-left corner of each child within bounds, with the same wrapping
    // test as arrange(), so the rows placed match the height reported.
    static std::vector<QPointF> place(const QRectF& bounds, const std::vector<QSizeF>& sizes, qreal spacing);

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    std::vector<QLayoutItem*> shownItems() const;
    std::vector<QSizeF> childSizes() const;

    qreal spacing_;
    QList<QLayoutItem*> items_;
};

}  // namespace tovan
