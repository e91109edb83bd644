#pragma once
// The strip over the player bar while a document is being saved as audio:
// which document, how far the job has come, and Cancel. A plain view: the
// main window hands it the job's title and progress on every change.

#include <functional>

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tovan {

class ExportBar : public QWidget {
    Q_OBJECT
public:
    explicit ExportBar(QWidget* parent = nullptr);

    void setJob(const QString& title, double fraction);
    // Called by Cancel; it only raises the job's cancel flag (the job stops
    // before its next sentence and clears its title, which removes the bar).
    std::function<void()> onCancel;

    // "Saving “<title>” as audio".
    static QString savingText(const QString& title);
    // The whole percent reached, truncated: 0.999 gives "99%".
    static QString percent(double fraction);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QLabel* icon_;
    QLabel* saving_;
    QProgressBar* progress_;
    QLabel* percent_;
    QPushButton* cancel_;
};

}  // namespace tovan
