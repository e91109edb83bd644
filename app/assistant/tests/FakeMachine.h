// The machine probes of the assistant's tests: every one a fake, installed
// for the test's lifetime, with the lock flag reset before and after.
#pragma once

#include "FakeAudioInputUsers.h"
#include "FakeDoNotDisturb.h"
#include "FakeFrontApp.h"
#include "FakeInputIdle.h"
#include "Machine.h"

#include <memory>

struct FakeMachine {
    std::shared_ptr<tovan::FakeDoNotDisturb> focus = std::make_shared<tovan::FakeDoNotDisturb>();
    std::shared_ptr<tovan::FakeAudioInputUsers> audio = std::make_shared<tovan::FakeAudioInputUsers>();
    std::shared_ptr<tovan::FakeFrontApp> front = std::make_shared<tovan::FakeFrontApp>();
    std::shared_ptr<tovan::FakeInputIdle> idle = std::make_shared<tovan::FakeInputIdle>();

    FakeMachine() {
        tovan::Machine::use({focus, audio, front, idle});
        tovan::Machine::locked = false;
    }
    ~FakeMachine() { tovan::Machine::locked = false; }
};
