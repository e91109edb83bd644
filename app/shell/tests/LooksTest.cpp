// Every screen, sheet and small window drawn offscreen at its default and its
// minimum size, then looked over as a person would: no character the fonts
// cannot draw, no control without its picture (or with the stand-in file
// icon), no text cut off that is neither elided nor wrapped, no two
// neighbours on top of each other, nothing pushed out of its parent, and no
// warning from Qt while building it.
#include "../../views/tests/ViewModelFixture.h"

#include "MacWords.h"
#include "TestApp.h"

#include <atomic>
#include <fstream>

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "AppPickerSheet.h"
#include "AssistantScreen.h"
#include "FakeControls.h"
#include "FreeBooksScreen.h"
#include "LoginItem.h"
#include "HeldWork.h"
#include "MainView.h"
#include "MenuBarView.h"
#include "ReadAnywhereScreen.h"
#include "RoutePicker.h"
#include "SettingsView.h"
#include "Sheets.h"
#include "SymbolIcon.h"
#include "TovanTTSApp.h"
#include "ViewHooks.h"
#include "VoicesScreen.h"

namespace tovan {
namespace {

// ---- looking a window over ------------------------------------------------

QString nameOf(const QWidget* w, const QWidget* root) {
    QStringList parts;
    for (const QWidget* p = w; p; p = p->parentWidget()) {
        parts.prepend(p->objectName().isEmpty() ? QString::fromLatin1(p->metaObject()->className()) : p->objectName());
        if (p == root) break;
    }
    return parts.join('/');
}

QString withoutMnemonics(QString t) {
    t.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    t.remove('&');
    t.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return t;
}

QString shownText(const QLabel* l) {
    const bool rich = l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text()));
    return rich ? QTextDocumentFragment::fromHtml(l->text()).toPlainText() : l->text();
}

// The characters of `text` no installed font draws in `font`'s place.
QStringList undrawable(const QFont& font, const QString& text) {
    const QFontMetrics fm(font);
    QStringList out;
    for (char32_t c : text.toUcs4()) {
        if (c <= 0x20 || QChar::isSpace(c) || c == 0xAD || (c >= 0xE000 && c <= 0xF8FF)) continue;
        if (!fm.inFontUcs4(c)) out << QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

QImage imageOf(const QIcon& icon) {
    return icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool blank(const QImage& img) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 0) return false;
    return true;
}

// What is wrong with an icon that is meant to show: nothing, or a text.
std::optional<QString> iconFault(const QIcon& icon) {
    if (icon.isNull()) return QStringLiteral("no icon");
    const QImage img = imageOf(icon);
    if (blank(img)) return QStringLiteral("an icon that draws nothing");
    static const QImage generic = imageOf(QApplication::style()->standardIcon(QStyle::SP_FileIcon));
    if (img == generic) return QStringLiteral("the generic file icon");
    return std::nullopt;
}

bool floats(const QWidget* w) { return w->property("floats").toBool(); }

bool insideScrollViewport(const QWidget* parent) {
    auto* area = qobject_cast<const QAbstractScrollArea*>(parent->parentWidget());
    return area && area->viewport() == parent;
}

QStringList faultsOf(QWidget* root) {
    QStringList faults;
    auto fault = [&](const QWidget* w, const QString& what) { faults << nameOf(w, root) + ": " + what; };
    auto glyphs = [&](const QWidget* w, const QFont& font, const QString& text) {
        const QStringList missing = undrawable(font, withoutMnemonics(text));
        if (!missing.isEmpty()) fault(w, "\"" + text + "\" has characters no font draws: " + missing.join(' '));
        if (const QStringList mac = test::macWords(text); !mac.isEmpty())
            fault(w, "\"" + text + "\" speaks of a Mac: " + mac.join(", "));
    };
    auto menuOf = [&](const QWidget* w, const QMenu* menu) {
        if (!menu) return;
        for (QAction* a : menu->actions()) {
            glyphs(w, menu->font(), a->text());
            if (!a->icon().isNull())
                if (auto f = iconFault(a->icon())) fault(w, "menu item \"" + a->text() + "\": " + *f);
        }
    };

    QList<QWidget*> all = root->findChildren<QWidget*>();
    all.prepend(root);
    glyphs(root, root->font(), root->windowTitle());
    for (QWidget* w : all) {
        if (w != root && (w->isWindow() || !w->isVisibleTo(root))) continue;
        glyphs(w, QApplication::font(), w->toolTip());
        glyphs(w, w->font(), w->accessibleName());
        if (auto* l = qobject_cast<QLabel*>(w)) {
            const QString text = shownText(l);
            glyphs(l, l->font(), text);
            if (!l->pixmap().isNull()) {
                if (auto f = iconFault(QIcon(l->pixmap()))) fault(l, *f);
            } else if (text.isEmpty() && l->objectName().contains(QStringLiteral("icon"), Qt::CaseInsensitive)) {
                fault(l, QStringLiteral("an icon label that shows nothing"));
            }
            const QFontMetrics fm(l->font());
            const QRect box = l->contentsRect();
            if (!text.isEmpty() && !l->property("elides").toBool() && l->pixmap().isNull()) {
                if (!l->wordWrap()) {
                    int widest = 0;
                    for (const QString& line : text.split('\n')) widest = std::max(widest, fm.horizontalAdvance(line));
                    if (widest > box.width() + 1)
                        fault(l, QStringLiteral("\"%1\" is cut off: needs %2 px, has %3").arg(text).arg(widest).arg(box.width()));
                } else if (l->heightForWidth(l->width()) > l->height() + 1) {
                    fault(l, QStringLiteral("\"%1\" wraps to %2 px but has %3").arg(text).arg(l->heightForWidth(l->width())).arg(l->height()));
                }
            }
        }
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            glyphs(b, b->font(), b->text());
            const bool ownLayout = b->layout() != nullptr;
            if (!b->icon().isNull()) {
                if (auto f = iconFault(b->icon())) fault(b, *f);
            } else if (b->text().isEmpty() && !ownLayout && !qobject_cast<QCheckBox*>(b) &&
                       !qobject_cast<QRadioButton*>(b) && !qobject_cast<QTabBar*>(b->parentWidget())) {
                fault(b, QStringLiteral("a button that shows neither text nor icon"));
            }
            if (!b->text().isEmpty() && b->sizeHint().isValid() && b->width() + 1 < b->sizeHint().width())
                fault(b, QStringLiteral("\"%1\" is cut off: needs %2 px, has %3").arg(b->text()).arg(b->sizeHint().width()).arg(b->width()));
            if (auto* t = qobject_cast<QToolButton*>(b)) menuOf(t, t->menu());
            if (auto* p = qobject_cast<QPushButton*>(b)) menuOf(p, p->menu());
        }
        if (auto* e = qobject_cast<QLineEdit*>(w)) glyphs(e, e->font(), e->text() + e->placeholderText());
        if (auto* e = qobject_cast<QPlainTextEdit*>(w)) glyphs(e, e->font(), e->placeholderText());
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i) glyphs(c, c->font(), c->itemText(i));
        if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i) {
                glyphs(t, t->font(), t->tabText(i));
                if (!t->tabIcon(i).isNull())
                    if (auto f = iconFault(t->tabIcon(i))) fault(t, "tab \"" + t->tabText(i) + "\": " + *f);
            }
        if (auto* g = qobject_cast<QGroupBox*>(w)) glyphs(g, g->font(), g->title());
        if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                glyphs(tree, (*it)->font(0), (*it)->text(0));
                if ((*it)->childCount() == 0)
                    if (auto f = iconFault((*it)->icon(0))) fault(tree, "\"" + (*it)->text(0) + "\": " + *f);
            }
        }
        if (auto* list = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < list->count(); ++i) glyphs(list, list->item(i)->font(), list->item(i)->text());

        // Neighbours and the parent's edges.
        if (qobject_cast<QStackedWidget*>(w)) continue;
        QList<QWidget*> kids;
        for (QObject* o : w->children())
            if (auto* k = qobject_cast<QWidget*>(o); k && !k->isWindow() && k->isVisibleTo(root)) kids << k;
        const bool scrolled = insideScrollViewport(w);
        for (int i = 0; i < kids.size(); ++i) {
            const QRect a = kids[i]->geometry();
            if (!scrolled && !floats(kids[i]) && !w->rect().adjusted(-1, -1, 1, 1).contains(a))
                fault(kids[i], QStringLiteral("reaches out of its parent (%1,%2 %3x%4 in %5x%6)")
                                   .arg(a.x()).arg(a.y()).arg(a.width()).arg(a.height()).arg(w->width()).arg(w->height()));
            for (int j = i + 1; j < kids.size(); ++j) {
                if (floats(kids[i]) || floats(kids[j])) continue;
                const QRect both = a.intersected(kids[j]->geometry());
                if (both.width() > 1 && both.height() > 1)
                    fault(kids[i], "overlaps " + nameOf(kids[j], root));
            }
        }
    }
    return faults;
}

// Qt's warnings while a window is built and shown (a style sheet property a
// widget lacks, a layout that cannot be satisfied, …).
QStringList& warnings() {
    static QStringList w;
    return w;
}
void collect(QtMsgType type, const QMessageLogContext&, const QString& text) {
    // The offscreen platform's own notes are no fault of the window.
    if (text.contains(QLatin1String("This plugin does not support"))) return;
    if (type != QtDebugMsg && type != QtInfoMsg) warnings() << text;
}

struct Size {
    const char* name;
    bool minimum;
};
constexpr Size sizes[] = {{"default", false}, {"minimum", true}};

// Shows a window at its default or minimum size and returns what is wrong.
QStringList lookAt(QWidget& window, bool minimum) {
    window.show();
    if (minimum) window.resize(window.minimumSize().expandedTo(window.minimumSizeHint()));
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    QStringList faults = faultsOf(&window);
    for (const QString& w : warnings()) faults << "Qt warns: " + w;
    warnings().clear();
    return faults;
}

// ---- what the windows show ------------------------------------------------

const std::u16string longTitle =
    u"The Extraordinary and Thoroughly Documented Adventures of a Very Long Title in the Reading List";

class Looks : public test::ViewModelFixture {
protected:
    void SetUp() override {
        test::ViewModelFixture::SetUp();
        test::widgetApp();
        warnings().clear();
        previous = qInstallMessageHandler(collect);
    }
    void TearDown() override { qInstallMessageHandler(previous); }

    // A reading in progress, an export under way and a reading list.
    void fill() {
        auto doc = addDoc(longTitle, {u"It was a bright cold day in April. The clocks were striking thirteen.",
                                      u"Winston Smith slipped quickly through the glass doors."});
        addDoc(u"Short", {u"One sentence."}, u"pdf");
        addDoc(u"A page", {u"Text."}, u"web", u"https://example.org/a");
        addDoc(u"Word", {u"Text."}, u"docx");
        reading.doc_ = doc;
        reading.playing_ = true;
        reading.progress_ = 0.42;
        reading.secondsLeft_ = 7325;
        reading.speed_ = 1.75f;
        reading.sleepAt_ = QDateTime::currentDateTime().addSecs(900);
        reading.setExport(QString::fromStdU16String(longTitle), 0.3);
        emit reading.changed();
    }

    // The section screens with hosts of the test's own: nothing reaches the
    // network, the user's settings or the running assistant.
    void installScreens() {
        hooks.screens[AppModel::Section::freeBooks] = [](AppModel&, QWidget* parent) -> QWidget* {
            FreeBooksView::Host host;
            host.page = [](const std::u16string&, int64_t, Gutenberg::Books done, Gutenberg::Failed) {
                QTimer::singleShot(0, [done] {
                    done({{u"1342", u"Pride and Prejudice", u"Jane Austen"},
                          {u"84", u"Frankenstein; Or, The Modern Prometheus, a Title Long Enough to Need Two Lines",
                           u"Mary Wollstonecraft Shelley"},
                          {u"11", u"Alice's Adventures in Wonderland", u""}});
                });
            };
            host.docs = [] { return std::vector<Doc::Meta>(); };
            host.open = [](const Gutenberg::Book&) {};
            host.root = u"https://www.gutenberg.org/ebooks/";
            return new FreeBooksView(std::move(host), parent);
        };
        hooks.screens[AppModel::Section::voices] = [](AppModel& app, QWidget* parent) -> QWidget* {
            VoicesView::Host host;
            host.style = [&app] { return app.style(); };
            host.setStyle = [](const Style&) {};
            host.voices = &app.voices;
            host.readerPlaying = [] { return true; };
            host.heard = [] { return int64_t(0); };
            host.renderFrom = [](int64_t) {};
            host.say = [](const std::u16string&, const Style&) {};
            return new VoicesView(std::move(host), parent);
        };
        hooks.screens[AppModel::Section::anywhere] = [](AppModel& app, QWidget* parent) -> QWidget* {
            AnywhereView::Host host;
            host.defaults = app.defaults;
            host.trusted = [] { return false; };
            host.hasDoc = [] { return true; };
            host.routePicker = [](QWidget* p) -> QWidget* { return new RoutePicker(nullptr, p); };
            return new AnywhereView(std::move(host), parent);
        };
        hooks.screens[AppModel::Section::assistant] = [this](AppModel&, QWidget* parent) -> QWidget* {
            return new AssistantScreen(assistantHost(), parent);
        };
    }

    AssistantScreen::Host assistantHost() {
        AssistantScreen::Host h;
        h.prefs = &prefs;
        h.recent = [] {
            return std::vector<AssistantScreen::Line>{
                {"1", 1700000000000, u"Telegram", u"Zenna", u"said", true},
                {"2", 1700000060000, u"Thunderbird", u"", u"kept for later: you were away", false}};
        };
        h.waiting = [] { return 3; };
        h.speaking = [] { return std::optional<std::u16string>(u"Zenna on Telegram: running late, so sorry!"); };
        h.notesAccess = [] { return true; };
        h.claudeConnected = [] { return false; };
        h.shellConnected = [] { return true; };
        h.calendarOn = [] { return true; };
        h.scan = [] { return apps(); };
        h.seen = [] { return std::vector<Notifications::SeenApp>{{u"org.telegram.desktop", u"Telegram"}}; };
        return h;
    }

    static std::vector<InstalledApp> apps() {
        return {{u"org.gnome.Calendar", u"Calendar", ""},
                {u"org.telegram.desktop", u"Telegram", ""},
                {u"thunderbird", u"Thunderbird Mail", ""}};
    }

    QStringList mainWindow(std::optional<AppModel::Section> section, bool minimum) {
        app->setSection(section);
        MainWindow window(new MainView(*app, reading, hooks));
        return lookAt(window, minimum);
    }

    ViewHooks hooks;
    AssistantPrefs prefs{std::make_shared<MemorySettingsStore>(), [] { return 12; }};
    QtMessageHandler previous = nullptr;
};

TEST_F(Looks, EmptyReadingListWelcomesANewUser) {
    for (const Size& s : sizes) {
        const QStringList faults = mainWindow(AppModel::Section::library, s.minimum);
        EXPECT_TRUE(faults.isEmpty()) << s.name << ":\n" << faults.join('\n').toStdString();
    }
}

TEST_F(Looks, EverySectionWithAReadingUnderWay) {
    fill();
    installScreens();
    const AppModel::Section sections[] = {AppModel::Section::library, AppModel::Section::freeBooks,
                                          AppModel::Section::assistant, AppModel::Section::voices,
                                          AppModel::Section::anywhere};
    for (AppModel::Section section : sections)
        for (const Size& s : sizes) {
            const QStringList faults = mainWindow(section, s.minimum);
            EXPECT_TRUE(faults.isEmpty()) << MainView::title(section).toStdString() << " at the " << s.name
                                          << " size:\n"
                                          << faults.join('\n').toStdString();
        }
}

// The capsule of a file being added, with its share, percent and Cancel,
// over the reading list (the adding work is parked mid-way).
class LooksAdding : public Looks {
protected:
    void SetUp() override {
        adjust = [this](AppModel::Config& c) {
            c.addingReport = [this](double, const Progress&) {
                if (++reports == 3) held.hold();
            };
        };
        Looks::SetUp();
    }
    void TearDown() override {
        held.release();
        test::spinUntil([this] { return app->addingWork() == 0; });
        Looks::TearDown();
    }
    test::HeldWork held;
    std::atomic<int> reports{0};
};

TEST_F(LooksAdding, TheCapsuleOfAFileBeingAdded) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "Paragraph " + std::to_string(i) + " has words. And a second one.\n\n";
    std::ofstream(root / "A long file name for a document being added.txt") << text;
    app->open(root / "A long file name for a document being added.txt", false);
    ASSERT_TRUE(test::spinUntil([this] { return held.reached(); }));
    test::spinEvents();
    ASSERT_TRUE(app->openingProgress());
    for (const Size& s : sizes) {
        const QStringList faults = mainWindow(AppModel::Section::library, s.minimum);
        EXPECT_TRUE(faults.isEmpty()) << s.name << ":\n" << faults.join('\n').toStdString();
    }
}

TEST_F(Looks, SheetsSettingsTrayWindowAndAppPicker) {
    fill();
    FakeControls controls;
    controls.title = QString::fromStdU16String(longTitle);
    FakeLoginItem login;
    struct Window {
        const char* name;
        std::function<QWidget*()> make;
    };
    const Window windows[] = {
        {"link sheet",
         [] {
             auto* d = new QDialog;
             (new QVBoxLayout(d))->addWidget(new LinkSheet(std::nullopt, {}, {}, d));
             return d;
         }},
        {"text sheet",
         [] {
             auto* d = new QDialog;
             (new QVBoxLayout(d))->addWidget(new TextSheet({}, {}, d));
             return d;
         }},
        {"settings, General", [&] { return new SettingsView(controls, app->defaults, login, QString()); }},
        {"settings, About",
         [&] {
             auto* v = new SettingsView(controls, app->defaults, login, QString());
             v->setCurrentIndex(1);
             return v;
         }},
        {"tray window, idle", [&] { return new MenuBarView(*app, controls, {}); }},
        {"tray window, playing",
         [&] {
             controls.set(true, true);
             return new MenuBarView(*app, controls, {});
         }},
        {"app picker",
         [&] {
             return new AppPickerSheet(apps(), prefs, [] {
                 return std::vector<Notifications::SeenApp>{{u"thunderbird", u"Thunderbird Mail"}};
             });
         }},
    };
    for (const Window& w : windows)
        for (const Size& s : sizes) {
            std::unique_ptr<QWidget> window(w.make());
            const QStringList faults = lookAt(*window, s.minimum);
            EXPECT_TRUE(faults.isEmpty()) << w.name << " at the " << s.name << " size:\n"
                                          << faults.join('\n').toStdString();
        }
}

// The checks themselves catch what they are for.
TEST_F(Looks, TheChecksSeeCutOffTextMissingGlyphsIconsAndOverlaps) {
    struct Case {
        const char* name;
        std::function<void(QWidget&)> build;
        const char* expected;
    };
    const Case cases[] = {
        {"cut-off label",
         [](QWidget& w) {
             auto* l = new QLabel(QStringLiteral("Times, dates, amounts and links are read the way people say them."), &w);
             l->setGeometry(0, 0, 80, 20);
         },
         "is cut off"},
        {"wrapped label too short",
         [](QWidget& w) {
             auto* l = new QLabel(QStringLiteral("A voice that runs on this computer: books, articles and anything "
                                                 "you select, read aloud."),
                                  &w);
             l->setWordWrap(true);
             l->setGeometry(0, 0, 120, 20);
         },
         "wraps to"},
        {"emoji on a button",
         [](QWidget& w) { (new QToolButton(&w))->setText(QStringLiteral("\U0001F508")); },
         "no font draws"},
        {"empty tool button", [](QWidget& w) { new QToolButton(&w); }, "neither text nor icon"},
        {"the stand-in file icon",
         [](QWidget& w) {
             auto* b = new QToolButton(&w);
             b->setIcon(QApplication::style()->standardIcon(QStyle::SP_FileIcon));
         },
         "generic file icon"},
        {"unknown symbol",
         [](QWidget& w) {
             auto* b = new QPushButton(QStringLiteral("Go"), &w);
             b->setIcon(symbolIcon(QStringLiteral("no.such.symbol")));
             b->setObjectName(QStringLiteral("bare"));
             auto* t = new QToolButton(&w);
             t->setIcon(symbolIcon(QStringLiteral("no.such.symbol")));
             t->move(0, 40);
         },
         "neither text nor icon"},
        {"overlapping neighbours",
         [](QWidget& w) {
             (new QLabel(QStringLiteral("A"), &w))->setGeometry(0, 0, 50, 20);
             (new QLabel(QStringLiteral("B"), &w))->setGeometry(30, 5, 50, 20);
         },
         "overlaps"},
        {"pushed out of its parent",
         [](QWidget& w) { (new QLabel(QStringLiteral("A"), &w))->setGeometry(180, 0, 50, 20); },
         "reaches out of its parent"},
    };
    for (const Case& c : cases) {
        QWidget w;
        w.setFixedSize(200, 100);
        c.build(w);
        w.show();
        QCoreApplication::processEvents();
        const QStringList faults = faultsOf(&w);
        EXPECT_TRUE(faults.join('\n').contains(QLatin1String(c.expected))) << c.name << ": " << faults.join('\n').toStdString();
    }
    QWidget fine;
    fine.setFixedSize(300, 100);
    auto* icon = new QToolButton(&fine);
    icon->setIcon(symbolIcon(QStringLiteral("play.fill")));
    icon->setGeometry(0, 0, 30, 30);
    auto* words = new QLabel(QStringLiteral("Short"), &fine);
    words->setGeometry(40, 0, 100, 30);
    fine.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(faultsOf(&fine), QStringList());
}

// Every symbol the screens may ask for draws something of its own.
TEST(Symbols, EachNameHasADrawingOfItsOwn) {
    test::widgetApp();
    const QStringList names = symbolNames();
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        EXPECT_FALSE(themeIconName(name).isEmpty()) << name.toStdString();
        EXPECT_EQ(iconFault(symbolIcon(name)), std::nullopt) << name.toStdString();
        EXPECT_TRUE(QFile::exists(symbolResource(name))) << name.toStdString();
    }
    EXPECT_TRUE(symbolIcon(QStringLiteral("no.such.symbol")).isNull());
    // The accent colour asked for is the colour drawn.
    const QImage accent = symbolIcon(QStringLiteral("play.fill"), QColor(0x1A, 0x6A, 0x55)).pixmap(16, 16).toImage();
    bool sawAccent = false;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (qAlpha(accent.pixel(x, y)) == 255) sawAccent = sawAccent || QColor(accent.pixel(x, y)) == QColor(0x1A, 0x6A, 0x55);
    EXPECT_TRUE(sawAccent);
    for (const QIcon& icon : {applicationIcon(), trayIcon()}) EXPECT_EQ(iconFault(icon), std::nullopt);
}

}  // namespace
}  // namespace tovan
