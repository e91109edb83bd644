#include "Spoken.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tovan;

namespace {

std::string apply(std::u16string_view pattern, const ReplacementBuilder& read, const char* text) {
    return u8(rx(pattern).replaceAll(u16(text), read));
}

}  // namespace

TEST(SpokenHelpers, NumberPassReadings) {
    struct Case {
        std::u16string_view pattern;
        ReplacementBuilder read;
        const char *in, *out;
    } cases[] = {
        {Spoken::VERSION, Spoken::readVersion, "2.10.1", " 2 point 10 point 1 "},
        {Spoken::VERSION, Spoken::readVersion, "update to v1.2.3 now", "update to  1 point 2 point 3  now"},
        {Spoken::VERSION, Spoken::readVersion, "1.2", "1.2"},
        {Spoken::CODE, Spoken::readCode, "OTP: 123456", "OTP: one two three, four five six"},
        {Spoken::CODE, Spoken::readCode, "PIN 12", "PIN 12"},
        {Spoken::CODE, Spoken::readCode, "PIN 1-2-3", "PIN 1-2-3"},
        {Spoken::CODE, Spoken::readCode, "card ending in 4242", "card ending in four two four two"},
        {Spoken::CODE, Spoken::readCode, "Order #1234-5678", "Order  number one two three four, five six seven eight"},
        {Spoken::CODE, Spoken::readCode, "ref no. 98765", "ref number nine eight seven, six five"},
        {Spoken::CODE, Spoken::readCode, "invoice 12345678", "invoice one two three four, five six seven eight"},
        {Spoken::CODE, Spoken::readCode, "Your code is 5521", "Your code is five five two one"},
        {Spoken::CODE, Spoken::readCode, "barcode 12345", "barcode 12345"},
        {Spoken::NUMBERED, Spoken::readNumberSign, "#7", "number 7"},
        {Spoken::NUMBERED, Spoken::readNumberSign, "No. 1234", "number one two three four"},
        {Spoken::NUMBERED, Spoken::readNumberSign, "#123456", "number one two three, four five six"},
        {Spoken::NUMBERED, Spoken::readNumberSign, "Nos.12 and no. 3", "number 12 and number 3"},
        {Spoken::UNIT(), Spoken::readUnit, "5 km", "5 kilometers"},
        {Spoken::UNIT(), Spoken::readUnit, "1 km", "1 kilometer"},
        {Spoken::UNIT(), Spoken::readUnit, "-1°C", "-1 degree Celsius"},
        {Spoken::UNIT(), Spoken::readUnit, "1.0 kg", "1.0 kilograms"},
        {Spoken::UNIT(), Spoken::readUnit, "01 kg", "01 kilograms"},
        {Spoken::UNIT(), Spoken::readUnit, "60 km/h", "60 kilometers per hour"},
        {Spoken::UNIT(), Spoken::readUnit, "1,200 sq ft", "1,200 square feet"},
        {Spoken::UNIT(), Spoken::readUnit, "20° C and 50%", "20 degrees Celsius and 50 percent"},
        {Spoken::UNIT(), Spoken::readUnit, "5 kmx", "5 kmx"},
        {Spoken::UNIT(), Spoken::readUnit, "a.5 km", "a.5 km"},
        {Spoken::OPERATOR, Spoken::readOperator, "2+2", "2 plus 2"},
        {Spoken::OPERATOR, Spoken::readOperator, "3 ± 0.5", "3 plus or minus 0.5"},
        {Spoken::OPERATOR, Spoken::readOperator, "6÷3=2", "6 divided by 3 equals 2"},
        {Spoken::OPERATOR, Spoken::readOperator, "2^-1 ≤ 1", "2 to the power of -1 is at most 1"},
        {Spoken::OPERATOR, Spoken::readOperator, "a+b", "a+b"},
        {Spoken::DAY_RANGE, Spoken::readDayRange, "Mon-Fri", "Monday to Friday"},
        {Spoken::DAY_RANGE, Spoken::readDayRange, "TUE – THU", "Tuesday to Thursday"},
    };
    for (const Case& c : cases) EXPECT_EQ(apply(c.pattern, c.read, c.in), c.out) << c.in;
}

TEST(SpokenHelpers, UnitTableAndPattern) {
    EXPECT_EQ(Spoken::UNIT_WORDS().size(), Spoken::UNITS.size());  // no abbreviation repeats
    for (const Spoken::Unit& u : Spoken::UNITS) {
        // Every abbreviation, after a number, is read by its own row.
        std::u16string text = u"2 " + std::u16string(u.abbr);
        EXPECT_EQ(u8(rx(Spoken::UNIT()).replaceAll(text, Spoken::readUnit)), "2 " + u8(u.plural)) << u8(u.abbr);
    }
}

TEST(SpokenHelpers, UnitPatternFindsWhatThePlainAlternationFinds) {
    // The plain form: the number, optional space, then every abbreviation
    // longest first, without the speed-ups of UNIT().
    std::vector<Spoken::Unit> rows(Spoken::UNITS.begin(), Spoken::UNITS.end());
    std::stable_sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.abbr.size() > b.abbr.size(); });
    std::u16string plain = uR"((?<![\w.,])(-?(?:\d{1,3}(?:,\d{3})+|\d+)(?:\.\d+)?)\s?()";
    for (size_t i = 0; i < rows.size(); i++) {
        if (i) plain += u'|';
        for (char16_t c : rows[i].abbr) {
            if (std::u16string_view(u"/").find(c) != std::u16string_view::npos) plain += u'\\';
            plain += c;
        }
    }
    plain += uR"()(?![\w°%]))";
    const char* texts[] = {
        "5 km, 5km, 5 kmh, 5 km/h, 5 km/hr, 1,234 km, 1234,567 km, 1,23 km, 1.5 km, 1.km, .5 km, -3 km",
        "x5 km _5 km 5.5.5 km 5,5 km 3x4 3 x 4 3x 10 % 10%% 10 %x 20°C 20° C 20 °F 20°° 20 ° 90‰",
        "2  km 2\tkm 2\nkm 1 sq ft 1 sq  ft 12 h 12 hrs 12 hr. 100 mAh 5 M 5 MB 5 Mbps 5 mL 5 ml 5 L",
        "10 k 10K 10 kW 10 kWh 1 V 1 W 2 px 60 fps 120 bpm 3 yrs 4 mos 5 wks 6 ms 7 ns 8 nm 9 mi 9 mins",
        "-1,000.25 kg and 1,000,000 lbs and 1,0000 lbs and 12,345.6.7 oz ok 4 cr 5 bn 6 gms 6 gm",
    };
    for (const char* t : texts) {
        EXPECT_EQ(u8(rx(Spoken::UNIT()).replaceAll(u16(t), Spoken::readUnit)),
                  u8(rx(plain).replaceAll(u16(t), Spoken::readUnit)))
            << t;
    }
}

TEST(SpokenHelpers, SmallHelpers) {
    EXPECT_EQ(u8(Spoken::scaleWord(u"K")), "thousand");
    EXPECT_EQ(u8(Spoken::scaleWord(u"Bn")), "billion");
    EXPECT_EQ(u8(Spoken::scaleWord(u"MN")), "million");
    EXPECT_EQ(u8(Spoken::scaleWord(u"trillion")), "trillion");
    EXPECT_EQ(u8(Spoken::scaleWord(u"Lakhs")), "lakh");
    EXPECT_EQ(u8(Spoken::scaleWord(u"cr")), "crore");
    EXPECT_EQ(u8(Spoken::scaleWord(u"zillion")), "crore");

    struct Roman {
        const char* in;
        int64_t value;
    } romans[] = {{"XIV", 14}, {"MCMXCIV", 1994}, {"xiv", 0}, {"XIVa", 0}, {"", 0},
                  {"IIII", 4}, {"IC", 99},        {"VX", 5},  {"MMMM", 4000}};
    for (const Roman& r : romans) EXPECT_EQ(Spoken::romanValue(u16(r.in)), r.value) << r.in;
    EXPECT_EQ(Spoken::romanValue(std::nullopt), 0);

    EXPECT_TRUE(Spoken::followedByWord(u"I am", 1));
    EXPECT_TRUE(Spoken::followedByWord(u"I\n\tam here.", 1));
    EXPECT_FALSE(Spoken::followedByWord(u"I Am", 1));
    EXPECT_FALSE(Spoken::followedByWord(u"I", 1));
    EXPECT_FALSE(Spoken::followedByWord(u"I am", 9));

    EXPECT_EQ(u8(Spoken::capital(u"ivan")), "Ivan");
    EXPECT_EQ(u8(Spoken::capital(u"élan")), "Élan");
    EXPECT_EQ(u8(Spoken::capital(u"")), "");

    EXPECT_EQ(u8(Spoken::denominator(4, false)), "quarter");
    EXPECT_EQ(u8(Spoken::denominator(4, true)), "quarters");
    EXPECT_EQ(u8(Spoken::denominator(2, true)), "halves");
    EXPECT_EQ(u8(Spoken::denominator(10, true)), "tenths");
    EXPECT_EQ(u8(Spoken::denominator(1, true)), "");
    EXPECT_EQ(u8(Spoken::denominator(11, false)), "");

    EXPECT_EQ(u8(Spoken::op(u"≈")), "is about");
    EXPECT_EQ(u8(Spoken::op(u"±")), "plus or minus");
}
