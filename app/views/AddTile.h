#pragma once
// One large tile of the welcome screen: a symbol, a title and a line of
// detail on a rounded card that takes the soft accent while the pointer is
// over it.

#include <functional>

#include <QAbstractButton>

namespace tovan {

class AddTile : public QAbstractButton {
    Q_OBJECT
public:
    AddTile(QString title, QString detail, QString icon, std::function<void()> action, QWidget* parent = nullptr);

    bool hover() const { return hover_; }
    QSize sizeHint() const override { return {140, 104}; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    QString detail_;
    QString icon_;
    bool hover_ = false;
};

}  // namespace tovan
