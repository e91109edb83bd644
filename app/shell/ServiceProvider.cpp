#include "ServiceProvider.h"

#include <QDir>

namespace tovan {

ServiceProvider::ServiceProvider(Roads roads, QObject* parent) : QObject(parent), roads_(std::move(roads)) {}

std::optional<QUrl> ServiceProvider::urlOf(const QString& arg, const QString& cwd) {
    if (arg.isEmpty()) return std::nullopt;
    // Only the schemes the program opens are URLs; "notes:3" is a file name.
    const QUrl url(arg, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == "http" || scheme == "https" || scheme == "file")) return url;
    QString path = arg;
    if (path == "~" || path.startsWith("~/")) path = QDir::homePath() + path.mid(1);
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(cwd).absoluteFilePath(path)));
}

void ServiceProvider::readSelection(const QString& text) {
    if (!text.isEmpty() && roads_.read) roads_.read(text, true);
}

void ServiceProvider::addSelection(const QString& text) {
    if (!text.isEmpty() && roads_.read) roads_.read(text, false);
}

void ServiceProvider::readFiles(const QStringList& files) {
    for (const QString& f : files) {
        const auto url = urlOf(f, QDir::rootPath());
        if (url && url->isLocalFile() && roads_.openFile) roads_.openFile(url->toLocalFile(), true);
    }
}

void ServiceProvider::readClipboard() {
    if (roads_.readClipboard) roads_.readClipboard();
}

void ServiceProvider::open(const QStringList& urls) {
    std::vector<QUrl> list;
    for (const QString& u : urls)
        if (auto url = urlOf(u, QDir::rootPath())) list.push_back(*url);
    if (!list.empty() && roads_.open) roads_.open(list);
}

void ServiceProvider::show() {
    if (roads_.show) roads_.show();
}

}  // namespace tovan
