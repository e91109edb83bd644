#include "GlobalKeys.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(GlobalKeys, TranslatesMacKeyCodesAndModifiers) {
    struct Case {
        uint32_t code, mods;
        std::optional<std::pair<uint32_t, uint32_t>> want;
    };
    const uint32_t ctrlAlt = GlobalKeys::Control | GlobalKeys::Alt;
    const Case cases[] = {
        {15, 0x1800, std::make_pair(uint32_t('r'), ctrlAlt)},
        {9, 0x1800, std::make_pair(uint32_t('v'), ctrlAlt)},
        {49, 0x1800, std::make_pair(uint32_t(' '), ctrlAlt)},
        {8, 0x0100, std::make_pair(uint32_t('c'), uint32_t(GlobalKeys::Super))},
        {15, 0x0200, std::make_pair(uint32_t('r'), uint32_t(GlobalKeys::Shift))},
        {99, 0x1800, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(GlobalKeys::fromCarbon(c.code, c.mods), c.want) << c.code;
}
