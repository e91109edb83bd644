#pragma once
// The application's object on the session bus (/org/tovantts/TovanTTS,
// interface org.tovantts.TovanTTS): what other programs, the desktop entry's
// actions and a second start of the program hand to the running instance.
//
//   readSelection(s text)   read the text now
//   addSelection(s text)    add it to the reading list without reading
//   readFiles(as files)     open each file (paths or file: URLs) with play on
//   readClipboard()         read what is on the clipboard
//   open(as urls)           files and links handed to the program
//   show()                  bring the main window forward
//
// A text that is empty is ignored; URLs that are not files are left out of
// readFiles. Nothing here reports an error: the model shows its own problems.
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>
#include <vector>

namespace tovan {

class ServiceProvider : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tovantts.TovanTTS")
public:
    struct Roads {
        std::function<void(const QString& text, bool play)> read;
        std::function<void(const QString& file, bool play)> openFile;
        std::function<void()> readClipboard;
        std::function<void(const std::vector<QUrl>& urls)> open;
        std::function<void()> show;
    };
    explicit ServiceProvider(Roads roads, QObject* parent = nullptr);

    // A path, "~/…" or a URL as given on a command line; relative paths are
    // taken from `cwd`. Nothing for an empty argument.
    static std::optional<QUrl> urlOf(const QString& arg, const QString& cwd);

public slots:
    Q_SCRIPTABLE void readSelection(const QString& text);
    Q_SCRIPTABLE void addSelection(const QString& text);
    Q_SCRIPTABLE void readFiles(const QStringList& files);
    Q_SCRIPTABLE void readClipboard();
    Q_SCRIPTABLE void open(const QStringList& urls);
    Q_SCRIPTABLE void show();

private:
    Roads roads_;
};

}  // namespace tovan
