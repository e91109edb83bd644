// The front application as the window manager publishes it, and the idle
// time, on a private X server the tests start (skipped only where Xvfb is
// not installed).
#include "LinuxInputIdle.h"
#include "X11FrontApp.h"
#include "XServer.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

xcb_atom_t atom(xcb_connection_t* x, const char* name) {
    auto* r = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// One private server for the tests of this file; the environment's $DISPLAY
// is never used, so a run in CI or on a desktop tests the same thing.
struct OnXServer : ::testing::Test {
    static inline std::unique_ptr<XServer> server;
    static void SetUpTestSuite() { server = std::make_unique<XServer>(); }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override {
        if (!server->up()) GTEST_SKIP() << "no Xvfb";
    }
    const char* display() const { return server->display().c_str(); }
};

}  // namespace

using X11FrontAppOnX = OnXServer;
using LinuxInputIdleOnX = OnXServer;

TEST_F(X11FrontAppOnX, NamesTheActiveWindowsApplication) {
    const char* display = this->display();
    int screen = 0;
    xcb_connection_t* x = xcb_connect(display, &screen);
    if (xcb_connection_has_error(x)) {
        xcb_disconnect(x);
        GTEST_SKIP() << "X display unreachable";
    }
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_atom_t active = atom(x, "_NET_ACTIVE_WINDOW");
    auto makeWindow = [&] {
        xcb_window_t w = xcb_generate_id(x);
        xcb_create_window(x, XCB_COPY_FROM_PARENT, w, s->root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          s->root_visual, 0, nullptr);
        return w;
    };
    auto activate = [&](xcb_window_t w) {
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, s->root, active, XCB_ATOM_WINDOW, 32, 1, &w);
        // A round trip: the server has done everything sent before it.
        std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    };

    const xcb_window_t term = makeWindow();
    const char cls[] = "kitty\0kitty";
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, term, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof cls, cls);
    const xcb_window_t gtk = makeWindow();
    const char gcls[] = "gnome-terminal-server\0Gnome-terminal";
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, gtk, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof gcls, gcls);
    const std::string appId = "org.gnome.Terminal";
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, gtk, atom(x, "_GTK_APPLICATION_ID"), atom(x, "UTF8_STRING"), 8,
                        uint32_t(appId.size()), appId.data());
    const xcb_window_t bare = makeWindow();

    tovan::X11FrontApp front(display);
    activate(term);
    EXPECT_EQ(front.id(), std::u16string(u"kitty"));
    activate(gtk);
    EXPECT_EQ(front.id(), std::u16string(u"org.gnome.Terminal"));
    activate(bare);
    EXPECT_EQ(front.id(), std::nullopt);
    activate(XCB_WINDOW_NONE);
    EXPECT_EQ(front.id(), std::nullopt);

    xcb_delete_property(x, s->root, active);
    xcb_disconnect(x);
}

TEST(X11FrontApp, NoDisplayMeansNoFrontApp) {
    tovan::X11FrontApp front("");
    EXPECT_EQ(front.id(), std::nullopt);
}

TEST_F(LinuxInputIdleOnX, ReadsTheXServersIdleTime) {
    const char* display = this->display();
    // A test server resets when its last client leaves (the test before
    // this one); a connection held here keeps it up while we ask.
    xcb_connection_t* keep = xcb_connect(display, nullptr);
    std::free(xcb_get_input_focus_reply(keep, xcb_get_input_focus(keep), nullptr));
    // The idle time is read from $DISPLAY: the private server's, for now.
    const char* was = std::getenv("DISPLAY");
    const std::string saved = was ? was : "";
    ::setenv("DISPLAY", display, 1);
    tovan::LinuxInputIdle idle{QDBusConnection(QString())};
    const double s = idle.fromX11();
    if (was)
        ::setenv("DISPLAY", saved.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
    EXPECT_GE(s, 0.0) << "the screen-saver extension answers";
    EXPECT_LT(s, 1e7);
    xcb_disconnect(keep);
}
