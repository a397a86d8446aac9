#include "EditorState.h"
#include "TextLines.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <iconv.h>
#endif

#include <limits>
#include <vector>

using namespace tarsun;

namespace {

struct NumberCase {
    const char* text;
    std::int64_t rounded;
    const char* numberText;  // the characters the number covers; empty: none found
    int shift = 0;           // decimal places the point moves right
};

class NumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, ReadsTheLeadingNumber) {
    const NumberCase& c = GetParam();
    std::string_view text = c.text;
    ParsedNumber n = parseNumber(text, c.shift);
    ASSERT_EQ(n.found, *c.numberText != '\0') << c.text;
    if (!n.found) return;
    EXPECT_EQ(roundToInteger(n.value), c.rounded) << c.text;
    EXPECT_EQ(text.substr(n.start, n.end - n.start), c.numberText) << c.text;
}

constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Values, NumberTest,
    ::testing::Values(NumberCase{" 2", 2, "2"}, NumberCase{" -4", -4, "-4"}, NumberCase{" 1.5", 2, "1.5"},
                      NumberCase{" 2.5", 2, "2.5"}, NumberCase{" 3.5", 4, "3.5"}, NumberCase{"-2.5", -2, "-2.5"},
                      NumberCase{" 2   # comment", 2, "2"}, NumberCase{"\t- 4 points", -4, "- 4"},
                      NumberCase{"1 000", 1000, "1 000"}, NumberCase{"1.5e2x", 150, "1.5e2"}, NumberCase{"2e", 2, "2"},
                      NumberCase{"5.", 5, "5."}, NumberCase{".5", 0, ".5"}, NumberCase{"&H10", 16, "&H10"},
                      NumberCase{"&o17", 15, "&o17"}, NumberCase{"&HFFFFFFFF", 4294967295, "&HFFFFFFFF"},
                      NumberCase{"1e999", Max, "1e999"}, NumberCase{"-1e999", -Max - 1, "-1e999"},
                      NumberCase{"1e-999", 0, "1e-999"}, NumberCase{"", 0, ""}, NumberCase{"abc", 0, ""},
                      NumberCase{"&H", 0, ""}, NumberCase{".", 0, ""}, NumberCase{"-", 0, ""}));

// 0.355 * 100 in binary floating point is 35.4999...; shifted as text it is exactly 35.5.
INSTANTIATE_TEST_SUITE_P(Shifted, NumberTest,
                         ::testing::Values(NumberCase{"0.355", 36, "0.355", 2}, NumberCase{"0.345", 34, "0.345", 2},
                                           NumberCase{"0.35", 35, "0.35", 2}, NumberCase{"3.5e-2", 4, "3.5e-2", 2}));

TEST(SettingText, BotSkillIsWrittenAsAFraction) {
    EXPECT_EQ(settingValueText(Setting::BotSkill, 50), "0.5");
    EXPECT_EQ(settingValueText(Setting::BotSkill, 7), "0.07");
    EXPECT_EQ(settingValueText(Setting::BotSkill, 35), "0.35");
    EXPECT_EQ(settingValueText(Setting::BotSkill, 100), "1");
    EXPECT_EQ(settingValueText(Setting::BotSkill, 0), "0");
    EXPECT_EQ(settingValueText(Setting::MaxBots, 256), "256");
}

TEST(CodePage, EveryByteSurvivesDecodeAndEncode) {
    CodePage cp = CodePage::windows1252();
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(cp.encode(cp.decode(all)), all);
#ifndef _WIN32
    // glibc's own table judges ours, byte by byte (its five undefined bytes aside).
    iconv_t glibc = iconv_open("UTF-8", "CP1252");
    ASSERT_NE(glibc, reinterpret_cast<iconv_t>(-1));
    for (char byte : all.substr(0x80)) {
        char out[8], *in = &byte, *at = out;
        std::size_t inLeft = 1, outLeft = sizeof out;
        if (iconv(glibc, &in, &inLeft, &at, &outLeft) != static_cast<std::size_t>(-1)) {
            EXPECT_EQ(cp.decode(std::string(1, byte)), std::string(out, at)) << int(byte & 0xFF);
        }
    }
    iconv_close(glibc);
#endif
}

}  // namespace
