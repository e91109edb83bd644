#pragma once
// The two add sheets of the main window: a web link, and typed or pasted text.
// Each ends by calling `dismiss`, and "Listen" hands its input on first.
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tovan {

class LinkSheet : public QWidget {
    Q_OBJECT
public:
    // `pasteboard` is the clipboard's text when the sheet opens: a single web
    // link there fills the field.
    LinkSheet(std::optional<QString> pasteboard, std::function<void(const QUrl&)> listen,
              std::function<void()> dismiss, QWidget* parent = nullptr);
    // The link to open: trimmed, "https://" put in front when it has no
    // "://", refused without a dot or a host.
    static std::optional<QUrl> url(const QString& link);

private:
    void listen();
    QLineEdit* field_;
    QPushButton* listenButton_;
    std::function<void(const QUrl&)> listen_;
    std::function<void()> dismiss_;
};

class TextSheet : public QWidget {
    Q_OBJECT
public:
    // `listen` gets the text as typed, spaces included.
    TextSheet(std::function<void(const QString&)> listen, std::function<void()> dismiss, QWidget* parent = nullptr);

private:
    QPlainTextEdit* editor_;
    QPushButton* listenButton_;
};

}  // namespace tovan
