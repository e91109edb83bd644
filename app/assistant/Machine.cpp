#include "Machine.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tovan::Machine {

namespace {

Probes& current() {
    static Probes p;
    return p;
}

void fill(Probes& p) {
    if (!p.focus) p.focus = DoNotDisturb::system();
    if (!p.audio) p.audio = AudioInputUsers::system();
    if (!p.front) p.front = FrontApp::system();
    if (!p.idle) p.idle = InputIdle::system();
}

std::u16string lower(const std::u16string& s) {
    icu::UnicodeString u(s.data(), int32_t(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), size_t(u.length()));
}

}  // namespace

Probes& probes() {
    Probes& p = current();
    fill(p);
    return p;
}

void use(Probes p) {
    current() = std::move(p);
    fill(current());
}

bool focusOn() { return probes().focus->on(); }

std::vector<std::u16string> callApps() {
    std::vector<std::u16string> out;
    for (const std::u16string& id : probes().audio->apps()) {
        const std::u16string l = lower(id);
        for (std::u16string_view f : callFragments()) {
            if (l.find(f) != std::u16string::npos) {
                out.push_back(id);
                break;
            }
        }
    }
    return out;
}

bool looking(const std::set<std::u16string>& apps) {
    const std::optional<std::u16string> front = probes().front->id();
    if (!front || !apps.count(*front)) return false;
    return idleSeconds() < 20.0;
}

double idleSeconds() { return probes().idle->seconds(); }

const std::set<std::u16string>& terminals() {
    static const std::set<std::u16string> set{
        // macOS bundle identifiers.
        u"com.apple.Terminal", u"com.googlecode.iterm2", u"com.microsoft.VSCode", u"com.mitchellh.ghostty",
        u"dev.warp.Warp-Stable", u"com.todesktop.230313mzl4w4u92", u"dev.zed.Zed", u"net.kovidgoyal.kitty",
        u"com.github.wez.wezterm", u"co.zeit.hyper", u"com.jetbrains.intellij", u"com.apple.dt.Xcode",
        // Linux: application ids and X11 window classes of the same kinds of programs.
        u"org.gnome.Terminal", u"Gnome-terminal", u"org.gnome.Console", u"kgx", u"org.gnome.Ptyxis",
        u"org.kde.konsole", u"konsole", u"kitty", u"Alacritty", u"org.wezfurlong.wezterm", u"foot", u"XTerm",
        u"UXTerm", u"URxvt", u"Xfce4-terminal", u"com.gexperts.Tilix", u"Tilix", u"Terminator", u"Hyper",
        u"warp", u"dev.warp.Warp", u"Code", u"code-oss", u"VSCodium", u"Cursor", u"Zed", u"jetbrains-idea",
        u"jetbrains-idea-ce"};
    return set;
}

const std::vector<std::u16string_view>& callFragments() {
    static const std::vector<std::u16string_view> list{
        u"facetime", u"telephonyutilities", u"callservicesd", u"avconferenced", u"zoom", u"teams", u"webex",
        u"slack", u"discord", u"whatsapp", u"telegram", u"signal", u"skype", u"gotomeeting", u"bluejeans",
        u"ringcentral", u"dialpad", u"aircall", u"around", u"tuple", u"pop.app"};
    return list;
}

}  // namespace tovan::Machine
