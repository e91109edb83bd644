#pragma once
// Whether the program starts when the user logs in. On the Linux desktop that
// is a file in the XDG autostart folder.
#include <filesystem>
#include <string>

namespace tovan {

class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool enabled() const = 0;
    // False (with `error` set) when the change could not be made.
    virtual bool enable(std::string* error = nullptr) = 0;
    virtual bool disable(std::string* error = nullptr) = 0;
};

// $XDG_CONFIG_HOME/autostart/org.tovantts.TovanTTS.desktop, starting the
// program at `program` hidden in the tray.
class XdgAutostart final : public LoginItem {
public:
    XdgAutostart(std::filesystem::path file, std::string program);
    // The file in the user's autostart folder.
    static std::filesystem::path standardFile();

    // Present, and not switched off by Hidden=true or X-GNOME-Autostart-enabled=false.
    bool enabled() const override;
    bool enable(std::string* error = nullptr) override;
    bool disable(std::string* error = nullptr) override;

    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    std::string program_;
};

class FakeLoginItem final : public LoginItem {
public:
    bool enabled() const override { return on; }
    bool enable(std::string* error = nullptr) override { return set(true, error); }
    bool disable(std::string* error = nullptr) override { return set(false, error); }
    bool on = false;
    bool refuse = false;
    int calls = 0;

private:
    bool set(bool v, std::string* error) {
        calls++;
        if (refuse) {
            if (error) *error = "refused";
            return false;
        }
        on = v;
        return true;
    }
};

}  // namespace tovan
