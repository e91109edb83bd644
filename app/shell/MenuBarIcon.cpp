#include "MenuBarIcon.h"

#include <QPainter>

#include "BrandMark.h"

namespace tovan {

QImage MenuBarIcon::render() {
    QImage img(40, 32, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(2.0);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    Mark::paint(p, QRectF(0, 0, 20, 16), true, Qt::black, Appearance::light);
    p.end();
    return img;
}

const QIcon& MenuBarIcon::image() {
    static const QIcon icon = [] {
        QIcon i(QPixmap::fromImage(render()));
        i.setIsMask(true);
        return i;
    }();
    return icon;
}

}  // namespace tovan
