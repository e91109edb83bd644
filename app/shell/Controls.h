#pragma once
// What the menus, the global keys and the tray window do to the reading and
// read of it: the reading controller's operations seen through one small
// interface, so the shell is tested without an engine. `changed` follows
// every change of what these getters return.
#include <QObject>
#include <QString>

#include <memory>

namespace tovan {

class Doc;

class Controls : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool hasDoc() const = 0;
    virtual QString docTitle() const = 0;
    virtual bool playing() const = 0;
    virtual bool preparing() const = 0;
    virtual double progress() const = 0;
    virtual int heard() const = 0;
    virtual float speed() const = 0;
    virtual void setSpeed(float speed) = 0;

    virtual void toggle() = 0;
    virtual void seek(int sentence) = 0;
    virtual void nextParagraph() = 0;
    virtual void previousParagraph() = 0;
    // Pause, leave no current document, and refresh the media display.
    virtual void stop() = 0;
    // Plays a document from its saved position.
    virtual void play(const std::shared_ptr<Doc>& doc) = 0;
    // Starts saving the current document as audio (asks where first).
    virtual void exportDoc() = 0;

    // The reading settings the settings window binds.
    virtual bool natural() const = 0;
    virtual void setNatural(bool on) = 0;
    virtual float expressiveness() const = 0;
    virtual void setExpressiveness(float value) = 0;
    virtual bool dialogueVoice() const = 0;
    virtual void setDialogueVoice(bool on) = 0;

signals:
    void changed();
};

// The controls of the program: the AppModel's reading controller when it has
// one; otherwise inert controls (nothing loaded, nothing plays).
std::unique_ptr<Controls> makeControls();

}  // namespace tovan
