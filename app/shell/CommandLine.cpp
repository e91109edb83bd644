#include "CommandLine.h"

#include "ServiceProvider.h"

namespace tovan {

CommandLine CommandLine::parse(const QStringList& args, const QString& cwd) {
    CommandLine cl;
    bool onlyNames = false;
    for (const QString& a : args) {
        if (!onlyNames && a == "--") {
            onlyNames = true;
        } else if (!onlyNames && a == "--hidden") {
            cl.hidden = true;
        } else if (!onlyNames && a == "--read-selection") {
            cl.service = Service::readSelection;
        } else if (!onlyNames && a == "--add-selection") {
            cl.service = Service::addSelection;
        } else if (!onlyNames && a == "--read-clipboard") {
            cl.service = Service::readClipboard;
        } else if (!onlyNames && a.startsWith('-') && a.size() > 1) {
            cl.problems << QStringLiteral("unknown option %1").arg(a);
        } else if (auto url = ServiceProvider::urlOf(a, cwd)) {
            cl.urls.push_back(*url);
        }
    }
    return cl;
}

}  // namespace tovan
