#include "AppDelegate.h"

#include "SettingsStore.h"
#include "Hotkey.h"

namespace tovan {

AppDelegate::AppDelegate(std::shared_ptr<SettingsStore> defaults, Launch launch, Intake intake, KeyActions keys)
    : defaults_(std::move(defaults)), launch_(std::move(launch)), intake_(std::move(intake)), keys_(std::move(keys)) {}

AppDelegate::~AppDelegate() = default;

const std::vector<AppDelegate::Key>& AppDelegate::keyTable() {
    static const std::vector<Key> table = {{1, 15}, {2, 9}, {3, 49}};
    return table;
}

void AppDelegate::applicationDidFinishLaunching() {
    auto run = [](const std::function<void()>& fn) {
        if (fn) fn();
    };
    run(launch_.installServices);
    registerHotkeys();
    run(launch_.devHooks);
    run(launch_.assistant);
    run(launch_.notifications);
    run(launch_.watchDownloads);
    run(launch_.watchBattery);
    run(launch_.watchDrives);
    run(launch_.watchOutput);
    run(launch_.meetings);
    run(launch_.repairPaths);
}

void AppDelegate::open(const std::vector<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            if (intake_.openFile) intake_.openFile(url.toLocalFile().toStdString(), true);
        } else if (intake_.openLink) {
            intake_.openLink(url, true);
        }
    }
}

void AppDelegate::registerHotkeys() {
    // Old keys go first: releasing one removes its id's action, which must
    // not hit the new key of the same id.
    hotkeys_.clear();
    if (defaults_ && defaults_->getBool("shortcuts") == false) return;
    const std::function<void()> actions[] = {keys_.readSelection, keys_.readClipboard, keys_.toggle};
    for (const Key& key : keyTable()) {
        std::function<void()> action = actions[key.id - 1];
        auto hotkey = Hotkey::create(key.keyCode, kModifiers, key.id, [action] {
            if (action) action();
        });
        if (hotkey) hotkeys_.push_back(std::move(hotkey));
    }
}

}  // namespace tovan
