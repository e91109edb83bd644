#pragma once
// A screen lock driven by hand (no signals of its own, so no Q_OBJECT).

#include "ScreenLock.h"

namespace tovan {

class FakeScreenLock final : public ScreenLock {
public:
    void lock() { emit locked(); }
    void unlock() { emit unlocked(); }
};

}  // namespace tovan
