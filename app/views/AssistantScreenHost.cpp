// The assistant screen over the application's shared objects.
#include "AssistantScreen.h"

#include "Announcer.h"
#include "IcsCalendars.h"
#include "LiveBanners.h"
#include "Meetings.h"
#include "Notifications.h"

#include <QFileDialog>
#include <QPointer>

#include <stdexcept>

namespace tovan {

AssistantScreen::Host AssistantScreen::standardHost(AppModel& /*app*/) {
    Host h;
    h.prefs = &AssistantPrefs::shared();
    h.speaking = [] { return Announcer::shared().speaking(); };
    h.stop = [] { Announcer::shared().stop(); };
    // Linux desktops keep no notification database to grant access to; the
    // live notifications on the session bus are the road that works.
    h.notesAccess = [] { return Notifications::shared().access() || LiveBanners::shared().running(); };
    h.checkAgain = [] {
        auto& n = Notifications::shared();
        try {
            n.lastID = n.maxID();
        } catch (const Notifications::NoPermission&) {
            n.lastID = -1;
        }
        n.refreshApps();
        LiveBanners::shared().start();
    };
    h.calendarOn = [] { return Meetings::shared().calendars().authorized(); };
    // No permission prompt exists here: the user picks a calendar file, which is linked in.
    h.requestCalendar = [](std::function<void(bool)> done) {
        auto* dialog = new QFileDialog(nullptr, QStringLiteral("Choose a Calendar"), QString(),
                                       QStringLiteral("Calendars (*.ics)"));
        dialog->setObjectName(QStringLiteral("calendarDialog"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setFileMode(QFileDialog::ExistingFile);
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [done](const QString& file) {
            IcsCalendars::add(file.toStdString());
            Meetings::shared().requestAccess(done);
        });
        QObject::connect(dialog, &QFileDialog::rejected, dialog, [done] { done(Meetings::shared().calendars().authorized()); });
        dialog->open();
    };
    h.observe = [](std::function<void()> f) {
        QObject::connect(&Announcer::shared(), &Announcer::changed, &Announcer::shared(), f);
        QObject::connect(&Notifications::shared(), &Notifications::accessChanged, &Notifications::shared(), f);
    };
    return h;
}

}  // namespace tovan
