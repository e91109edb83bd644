#include "SymbolIcon.h"

#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

#include <map>

namespace tovan {
namespace {

// Each symbol's nearest name in the freedesktop icon naming scheme.
const std::map<QString, QString>& names() {
    static const std::map<QString, QString> n = {
        {"app", "application-x-executable"},
        {"arrow.down.to.line", "go-bottom"},
        {"backward.fill", "media-skip-backward"},
        {"bell.and.waves.left.and.right", "preferences-system-notifications"},
        {"book", "accessories-dictionary"},
        {"book.closed", "accessories-dictionary"},
        {"books.vertical", "system-file-manager"},
        {"building.columns", "applications-education"},
        {"calendar", "x-office-calendar"},
        {"character.cursor.ibeam", "insert-text"},
        {"checkmark.circle.fill", "object-select"},
        {"circle", "radio-button-off"},
        {"contextualmenu.and.cursorarrow", "open-menu"},
        {"desktopcomputer", "computer"},
        {"doc", "text-x-generic"},
        {"doc.on.clipboard", "edit-paste"},
        {"doc.richtext", "x-office-document"},
        {"doc.text", "text-x-generic"},
        {"forward.fill", "media-skip-forward"},
        {"gearshape", "preferences-system"},
        {"globe", "web-browser"},
        {"hifispeaker", "audio-speakers"},
        {"hifispeaker.2", "audio-speakers"},
        {"info.circle", "dialog-information"},
        {"link", "insert-link"},
        {"menubar.rectangle", "preferences-system-windows"},
        {"message", "mail-message-new"},
        {"moon", "weather-clear-night"},
        {"moon.fill", "weather-clear-night"},
        {"moon.zzz", "alarm"},
        {"moon.zzz.fill", "alarm"},
        {"pause.circle.fill", "media-playback-pause"},
        {"pause.fill", "media-playback-pause"},
        {"person.wave.2", "audio-input-microphone"},
        {"play.circle.fill", "media-playback-start"},
        {"play.fill", "media-playback-start"},
        {"playpause", "media-playback-start"},
        {"plus", "list-add"},
        {"sparkles", "starred"},
        {"speaker.slash", "audio-volume-muted"},
        {"speaker.wave.2.fill", "audio-volume-high"},
        {"square.and.arrow.down", "document-save"},
        {"star", "non-starred"},
        {"star.fill", "starred"},
        {"terminal", "utilities-terminal"},
        {"text.alignleft", "format-justify-left"},
        {"text.cursor", "edit-select-all"},
        {"text.viewfinder", "edit-find"},
        {"textformat.size.larger", "zoom-in"},
        {"textformat.size.smaller", "zoom-out"},
        {"tray.full", "mail-unread"},
        {"waveform", "audio-x-generic"},
        {"waveform.badge.plus", "document-save-as"},
        {"xmark", "window-close"},
    };
    return n;
}

// Paints the shape of a one-colour source (a theme's symbolic icon or our
// drawing) in the requested colour, or in the application palette's text
// colour for the icon's mode when none was requested.
class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString symbol, std::optional<QColor> colour) : symbol_(std::move(symbol)), colour_(colour) {
        const QString themed = themeIconName(symbol_) + QStringLiteral("-symbolic");
        if (QIcon::hasThemeIcon(themed)) theme_ = QIcon::fromTheme(themed);
    }

    QIconEngine* clone() const override { return new SymbolEngine(*this); }
    QString key() const override { return QStringLiteral("tovan-symbol"); }
    QString iconName() override { return themeIconName(symbol_); }
    bool isNull() override { return false; }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = scaledPixmap(rect.size(), mode, state, dpr);
        p->drawPixmap(rect, pm);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        const QSize px = (QSizeF(size) * scale).toSize();
        if (px.isEmpty()) return {};
        QImage img(px, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        {
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            if (!theme_.isNull()) {
                p.drawPixmap(QRect(QPoint(), px), theme_.pixmap(px, QIcon::Normal, state));
            } else {
                QSvgRenderer svg(symbolResource(symbol_));
                svg.render(&p, QRectF(QPointF(), QSizeF(px)));
            }
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(img.rect(), colourFor(mode));
        }
        QPixmap out = QPixmap::fromImage(img);
        out.setDevicePixelRatio(scale);
        return out;
    }

private:
    QColor colourFor(QIcon::Mode mode) const {
        const QPalette pal = QGuiApplication::palette();
        if (mode == QIcon::Disabled) {
            QColor c = colour_.value_or(pal.color(QPalette::Disabled, QPalette::WindowText));
            if (colour_) c.setAlphaF(0.4f);
            return c;
        }
        if (colour_) return *colour_;
        return mode == QIcon::Selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::WindowText);
    }

    QString symbol_;
    std::optional<QColor> colour_;
    QIcon theme_;
};

}  // namespace

QString themeIconName(const QString& symbol) {
    auto it = names().find(symbol);
    return it == names().end() ? QString() : it->second;
}

QStringList symbolNames() {
    QStringList out;
    for (const auto& [symbol, name] : names()) out << symbol;
    return out;
}

QString symbolResource(const QString& symbol) { return QStringLiteral(":/symbols/") + symbol + QStringLiteral(".svg"); }

QIcon symbolIcon(const QString& symbol, std::optional<QColor> colour) {
    if (themeIconName(symbol).isEmpty()) return QIcon();
    return QIcon(new SymbolEngine(symbol, colour));
}

QIcon applicationIcon() {
    static const QString id = QStringLiteral("org.tovantts.TovanTTS");
    return QIcon::fromTheme(id, QIcon(QStringLiteral(":/icons/") + id + QStringLiteral(".svg")));
}

QIcon trayIcon() { return QIcon(QStringLiteral(":/icons/org.tovantts.TovanTTS-tray.svg")); }

}  // namespace tovan
