#pragma once
// Readout: the spoken phrasing of what events say (notifications, chat
// messages, e-mails, calls, reminders, updates, battery levels), each turned
// into a Speech ready to announce: the wording, where long texts are cut, how
// a sender's name is made speakable and which mood each part takes.
//
// Pure functions of their arguments, except ringCount, which remembers the
// recent rings of each caller for the life of the process. Nothing fails:
// missing input gives fallback words or an empty Speech. Lengths and
// positions are UTF-16 units; a cut never splits a surrogate pair.

#include "Speech.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovan::Readout {

// The longest text cap() lets through uncut.
inline constexpr int MAX_CHARS = 300;

// The speakable text with a final "." unless it ends in ".", "!" or "?".
std::u16string sentence(const std::u16string& text);
// White space collapsed; beyond MAX_CHARS cut at the last blank (or at
// MAX_CHARS) and ", and more." appended.
std::u16string cap(const std::u16string& text);
// The opening sentence of an e-mail body without a repeated subject, at
// most 140 units (then cut with "…"); empty when under 12 units.
std::u16string firstSentence(const std::optional<std::u16string>& body, const std::optional<std::u16string>& subject);
// A display name without its address; a bare address becomes its local
// part's words (mail providers) or its company label, capitalised.
std::u16string senderName(const std::optional<std::u16string>& raw);

Speech notice(const std::optional<std::u16string>& title, const std::optional<std::u16string>& body,
              const std::u16string& app);
Speech update(const std::optional<std::u16string>& title, const std::optional<std::u16string>& body,
              const std::u16string& app);
// Reminders, timers and alarms.
Speech reminder(const std::optional<std::u16string>& title, const std::optional<std::u16string>& body,
                const std::u16string& app);
Speech email(const std::optional<std::u16string>& sender, const std::optional<std::u16string>& subject,
             const std::optional<std::u16string>& body);
// Chat messages of one sender. With `voicePerSender` the body is read in
// the sender's own voice, never `announceVoice`.
Speech message(const std::optional<std::u16string>& sender, const std::optional<std::u16string>& chat,
               const std::u16string& app, const std::vector<std::u16string>& texts, bool voicePerSender,
               const std::optional<std::u16string>& announceVoice);
// Several messages (sender, text) of one chat; later runs of a sender start
// with "Then <sender>."
Speech conversation(const std::vector<std::pair<std::u16string, std::u16string>>& messages,
                    const std::optional<std::u16string>& chat, const std::u16string& app, bool voicePerSender,
                    const std::optional<std::u16string>& announceVoice);
Speech missedCall(const std::optional<std::u16string>& caller);
// An incoming call; `rings` from ringCount().
Speech call(const std::u16string& caller, const std::optional<std::u16string>& kind, int rings);
// How many times the caller (any letter case) has rung within the last 15
// minutes, this ring at `timeMs` included. Thread-safe.
int ringCount(const std::u16string& caller, int64_t timeMs);
Speech battery(int percent, bool full);

}  // namespace tovan::Readout
