#pragma once
// The three ways the assistant speaks about work done for the user: someone
// needs you (attentive), it is done (done), it went wrong (failed). Shared
// by the tool events, notification phrasing and meetings.

#include "Expression.h"

namespace tovan::ClaudeEvents {

const Expression::MoodRef& attentive();
const Expression::MoodRef& done();
const Expression::MoodRef& failed();

}  // namespace tovan::ClaudeEvents
