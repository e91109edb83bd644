#pragma once
// The text selected in whichever application is in front. On X11 that is the
// PRIMARY selection, which any program may read without permission.
#include <QString>

#include <optional>
#include <vector>

namespace tovan {

class SelectedText {
public:
    virtual ~SelectedText() = default;
    // Whether this program may read other programs' selections.
    virtual bool trusted() = 0;
    // Asks the desktop to let it (where the desktop has such a question).
    virtual void askTrust() = 0;
    // The selection, possibly empty; nothing when none can be read.
    virtual std::optional<QString> selection() = 0;
};

// The PRIMARY selection through QClipboard; nothing on platforms without one.
class PrimarySelection final : public SelectedText {
public:
    bool trusted() override { return true; }  // X11 asks no permission
    void askTrust() override {}
    std::optional<QString> selection() override;
};

// For tests: fixed answers, and how often trust was asked for.
class FakeSelectedText final : public SelectedText {
public:
    bool trusted() override {
        trustChecks++;
        return trustAnswers.empty() ? isTrusted : takeAnswer();
    }
    void askTrust() override { prompts++; }
    std::optional<QString> selection() override {
        reads++;
        return text;
    }
    bool isTrusted = true;
    std::vector<bool> trustAnswers;  // answered first, in order, before isTrusted
    std::optional<QString> text;
    int prompts = 0, reads = 0, trustChecks = 0;

private:
    bool takeAnswer() {
        bool v = trustAnswers.front();
        trustAnswers.erase(trustAnswers.begin());
        return v;
    }
};

}  // namespace tovan
