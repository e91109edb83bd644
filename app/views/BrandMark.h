#pragma once
// The brand mark (seven rounded bars, the centre one red, under a mint dot),
// drawn from geometry at any size, and the application badge: the mark on a
// green rounded square.

#include "Theme.h"

#include <QWidget>

#include <vector>

class QPainter;

namespace tovan {

class Mark : public QWidget {
    Q_OBJECT
public:
    // What fills one shape when the mark is drawn in colour.
    enum class Fill { white, red, mint };
    struct Shape {
        QRectF rect;    // in the area's coordinates
        qreal radius;   // corner radius; a circle's is half its side
        bool circle;
        Fill fill;
    };

    // The mark is designed on a 62 x 62 grid.
    static constexpr qreal grid = 62.0;

    explicit Mark(bool mono = false, QWidget* parent = nullptr);

    bool mono() const { return mono_; }
    void setMono(bool mono);

    // The eight shapes in drawing order (seven bars, then the dot), for the
    // mark centred in `area` at unit min(width, height) / 62.
    static std::vector<Shape> shapes(const QRectF& area);
    // Draws the mark into `area`. Mono draws every shape in `foreground`;
    // otherwise white bars, the red centre bar and the mint dot, the theme
    // colours taken for `appearance`.
    static void paint(QPainter& p, const QRectF& area, bool mono, const QColor& foreground, Appearance appearance);

    QSize sizeHint() const override { return {62, 62}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    bool mono_;
};

class AppBadge : public QWidget {
    Q_OBJECT
public:
    explicit AppBadge(qreal size = 64, QWidget* parent = nullptr);

    qreal size() const { return size_; }
    void setSize(qreal size);

    static qreal cornerRadius(qreal size) { return 0.225 * size; }
    // The square the mark is drawn in: 0.2 x size in from every side.
    static QRectF markArea(qreal size) { return {0.2 * size, 0.2 * size, 0.6 * size, 0.6 * size}; }
    // Draws the badge with its top-left corner at `origin`.
    static void paint(QPainter& p, const QPointF& origin, qreal size, Appearance appearance);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    qreal size_;
};

}  // namespace tovan
