#include "EditorState.h"
#include "TextLines.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace tarsun;

namespace {

struct NumberCase {
    const char* text;
    bool found;
    std::int64_t rounded;
    const char* numberText; // the characters the number covers
};

class NumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, ReadsTheLeadingNumber) {
    const NumberCase& c = GetParam();
    std::string_view text = c.text;
    ParsedNumber n = parseNumber(text);
    ASSERT_EQ(n.found, c.found) << c.text;
    if (!c.found)
        return;
    EXPECT_EQ(roundToInteger(n.value), c.rounded) << c.text;
    EXPECT_EQ(text.substr(n.start, n.end - n.start), c.numberText) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberTest,
    ::testing::Values(NumberCase{" 2", true, 2, "2"}, NumberCase{" -4", true, -4, "-4"},
                      NumberCase{" 1.5", true, 2, "1.5"}, NumberCase{" 2.5", true, 2, "2.5"},
                      NumberCase{" 3.5", true, 4, "3.5"}, NumberCase{"-2.5", true, -2, "-2.5"},
                      NumberCase{" 2   # comment", true, 2, "2"}, NumberCase{"\t- 4 points", true, -4, "- 4"},
                      NumberCase{"1 000", true, 1000, "1 000"}, NumberCase{"1.5e2x", true, 150, "1.5e2"},
                      NumberCase{"2e", true, 2, "2"}, NumberCase{"5.", true, 5, "5."},
                      NumberCase{".5", true, 0, ".5"}, NumberCase{"&H10", true, 16, "&H10"},
                      NumberCase{"&o17", true, 15, "&o17"},
                      NumberCase{"&HFFFFFFFF", true, 4294967295, "&HFFFFFFFF"},
                      NumberCase{"1e999", true, std::numeric_limits<std::int64_t>::max(), "1e999"},
                      NumberCase{"-1e999", true, std::numeric_limits<std::int64_t>::min(), "-1e999"},
                      NumberCase{"1e-999", true, 0, "1e-999"}, NumberCase{"", false, 0, ""},
                      NumberCase{"abc", false, 0, ""}, NumberCase{"&H", false, 0, ""},
                      NumberCase{".", false, 0, ""}, NumberCase{"-", false, 0, ""}));

TEST(Number, ShiftsTheDecimalPointExactly) {
    // 0.355 * 100 in binary floating point is 35.4999...; shifted as text it is exactly 35.5.
    EXPECT_EQ(roundToInteger(parseNumber("0.355", 2).value), 36);
    EXPECT_EQ(roundToInteger(parseNumber("0.345", 2).value), 34);
    EXPECT_EQ(roundToInteger(parseNumber("0.35", 2).value), 35);
    EXPECT_EQ(roundToInteger(parseNumber("3.5e-2", 2).value), 4);
}

TEST(Lines, EveryLineEndKindSplits) {
    std::vector<std::pair<std::string, std::size_t>> lines;
    std::string_view text = "a\r\nb\rc\nd\n\re";
    forEachLine(text, [&](LineRef ref, std::size_t end) { lines.emplace_back(ref.in(text), end); });
    std::vector<std::pair<std::string, std::size_t>> expected{{"a", 2}, {"b", 1}, {"c", 1},
                                                              {"d", 1}, {"", 1},  {"e", 0}};
    EXPECT_EQ(lines, expected);
}

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
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(cp.encode(cp.decode(all)), all);
    EXPECT_EQ(cp.decode("J\xE4ger \x80"), "J\xC3\xA4ger \xE2\x82\xAC");
    EXPECT_FALSE(cp.encode("\xE4\xB8\xAD")); // a CJK character has no place in Windows-1252
    EXPECT_FALSE(cp.encode("\xC3"));         // truncated UTF-8
}

TEST(BotNameCheck, RefusesWhatWouldBreakTheFile) {
    EditorState state(CodePage::windows1252());
    EXPECT_EQ(state.checkBotName("J\xC3\xA4ger \xE2\x82\xAC"), NameProblem::None);
    EXPECT_EQ(state.checkBotName(""), NameProblem::None);
    for (std::string bad :
         std::vector<std::string>{"a\nb", "a\rb", "a\tb", std::string("a\0b", 3), "a\xC2\x85"})
        EXPECT_EQ(state.checkBotName(bad), NameProblem::ControlCharacter) << bad;
    EXPECT_EQ(state.checkBotName("\xE4\xB8\xAD"), NameProblem::NotEncodable);
    EXPECT_EQ(state.checkBotName("\xFF"), NameProblem::InvalidText);
}

} // namespace
