#include "Spoken.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

using namespace tovan;

// Compiled patterns are shared by every thread: passes running at once must
// give exactly what one thread gives.
TEST(SpokenThreads, PassesGiveTheSameResultFromManyThreadsAtOnce) {
    const std::u16string text =
        u"On 2024-03-05 at 9:30 pm call (555) 123-4567; Mon-Fri 9-11am, Tue 3/12, 5th of March, "
        u"+4915112345678 and 1:02:03, 10am-2pm.";
    auto run = [&] { return Spoken::phones(Spoken::times(Spoken::dates(text))); };
    Spoken::setDayFirst(true);
    const std::u16string expected = run();
    constexpr int kThreads = 8;
    std::latch go(kThreads);
    std::vector<std::u16string> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            go.arrive_and_wait();
            for (int i = 0; i < 50; i++) got[t] = run();
        });
    }
    for (auto& th : threads) th.join();
    for (const auto& g : got) EXPECT_EQ(u8(g), u8(expected));
}
