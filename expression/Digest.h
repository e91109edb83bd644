#pragma once
// The digest of messages kept while the user was away: at most 40, none
// older than 12 hours, summed up on request as one announcement (a count
// with the senders' names, then each sender's latest messages).
//
// Messages themselves never touch the disk. Only their keys are kept, with
// the time each was first kept, in "kept.keys" in the given folder (one
// "key TAB time LF" line per key, rewritten whole and atomically on every
// change), so that after a restart the caller can put back the messages
// whose keys are still kept.
//
// All operations may be called from any thread; each holds the digest's
// lock for its whole run, clock reads and file writes included.

#include "Speech.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tovan {

class Digest {
public:
    struct Item {
        std::u16string key;     // the caller's identifier of the message
        std::u16string person;  // spoken form of the sender; messages are grouped by it
        std::u16string app;
        std::u16string text;
        int64_t time = 0;       // ms on the digest's clock: added, or first kept
    };

    // Milliseconds; every time stamp and the age window use it.
    using Clock = std::function<int64_t()>;
    // Wall-clock milliseconds since 1970.
    static int64_t systemClock();

    static constexpr size_t CAP = 40;
    static constexpr int64_t WINDOW_MS = 12LL * 60 * 60 * 1000;
    static constexpr const char* FILE_NAME = "kept.keys";

    // Without a folder nothing is ever read or written. A missing or
    // unreadable file starts with no kept keys; malformed lines are skipped.
    explicit Digest(std::optional<std::filesystem::path> directory, Clock clock = &Digest::systemClock);
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    // A new message, stamped now. Its key is kept from its first arrival on.
    void add(const std::u16string& key, const std::u16string& person, const std::u16string& app,
             const std::u16string& text);
    // Puts back a message after a restart, with its key's kept time; nothing
    // happens when the key is not kept or the same message is already back.
    void restore(const std::u16string& key, const std::u16string& person, const std::u16string& app,
                 const std::u16string& text);
    std::set<std::u16string> savedKeys();
    // Drops every kept key not in the set.
    void forgetExcept(const std::set<std::u16string>& keep);
    // Forgets one key and every message with it.
    void removeKey(const std::u16string& key);
    // Messages within the age window.
    int size();
    void clear();
    // The spoken summary; empties the digest. `voices`: each sender's
    // messages in a voice of their own, never `own`.
    Speech take(bool voices, const std::optional<std::u16string>& own);

    // "Ann", "Ann and Bob", "Ann, Bob and Cy", "Ann, Bob and 2 others";
    // "" for no names.
    static std::u16string names(const std::vector<std::u16string>& names);

    // Whether a key survives a trip through kept.keys. Keys that do not (a
    // line break would split the line, an empty key reads as no key, a lone
    // surrogate is changed by the UTF-8 text) are kept in memory only and
    // never written, so they cannot damage the file.
    static bool storable(const std::u16string& key);

private:
    void persist();
    void prune();

    std::mutex lock_;
    std::vector<Item> items_;
    std::optional<std::filesystem::path> store_;
    std::map<std::u16string, int64_t> saved_;
    Clock clock_;
};

}  // namespace tovan
