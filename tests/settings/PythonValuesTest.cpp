// The scoring file is Python: what the editor shows for a constant, and what the file holds
// after an edit, are judged by python3 itself.

#include "ModWriter.h"
#include "PythonOracle.h"
#include "TempMod.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#endif

#include <limits>
#include <optional>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();

struct ScoringCase {
    const char* name;
    std::string file;                            // after the header
    std::int64_t shown;                          // SCORE_KILL before the edit
    std::string saved;                           // after SCORE_KILL was set to 7
    std::optional<bool> literal = std::nullopt;  // one number to Python, so it shows as Python reads it
};

// SCORE_KILL's value on a line of its own, with a comment.
ScoringCase value(const char* text, std::int64_t shown, bool literal) {
    const std::string teamkill = "   # kills\r\nSCORE_TEAMKILL = 3\r\n";
    return {"", std::string("SCORE_KILL = ") + text + teamkill, shown, "SCORE_KILL = 7" + teamkill, literal};
}

// Failures name the file's text, not its bytes.
void PrintTo(const ScoringCase& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.file);
}

class Scoring : public ::testing::TestWithParam<ScoringCase> {};

TEST_P(Scoring, ShowsWhatPythonReadsAndAnEditKeepsThePythonFileWhole) {
    const ScoringCase& c = GetParam();
    TempMod mod;
    const std::string header = "\"\"\"Scores.\nSCORE_KILL = 99\n\"\"\"\nfrom qmr import *\n";
    mod.writeAll("", "", "", header + c.file);
    EditorState state = mod.load();
    ASSERT_FALSE(state.ListScores.empty());
    ASSERT_EQ(state.ListScores[0].Index, 0u);
    EXPECT_EQ(state.ScoreValues[0], c.shown);
    if (c.literal) {
        EXPECT_EQ(state.ListScores[0].Literal, *c.literal);
        EXPECT_EQ(state.ListScores[0].Text, c.file.substr(0, c.file.find('\r')));  // the real text
    }
    auto before = pythonConstants(mod.path(ModFile::Scoring));

    state.setScoreValue(0, 7);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(mod.read(ModFile::Scoring), header + c.saved);
    TARSUN_NEEDS_PYTHON();
    if (c.literal.value_or(false)) {
        ASSERT_TRUE(before);
        EXPECT_EQ((*before)["SCORE_KILL"].shown, std::to_string(c.shown));
    }
    auto after = pythonConstants(mod.path(ModFile::Scoring));
    ASSERT_TRUE(after) << "Python cannot run the saved file";
    EXPECT_EQ((*after)["SCORE_KILL"].repr, "7");
    if (after->count("SCORE_TEAMKILL")) {
        EXPECT_EQ((*after)["SCORE_TEAMKILL"].repr, "3");
    }
}

INSTANTIATE_TEST_SUITE_P(Literals, Scoring,
                         ::testing::Values(value("0x10", 16, true), value("0o17", 15, true), value("0b101", 5, true),
                                           value("0X_1F", 31, true), value("1_000", 1000, true),
                                           value("1e3", 1000, true), value("3.", 3, true), value(".5", 0, true),
                                           value("2.5", 2, true), value("3.5", 4, true), value("- 4", -4, true),
                                           value("-0x10", -16, true), value("1_0.2_5e1", 102, true),
                                           value("0xFFFF_FFFF_FFFF_FFFF_FF", Max, true), value("1e999", Max, true)));

// Not one literal: the leading number shows, and the list line shows the real text.
INSTANTIATE_TEST_SUITE_P(Expressions, Scoring,
                         ::testing::Values(value("2 * 3", 2, false), value("10 / 4", 10, false),
                                           value("1e1e1", 10, false), value("5.5.5", 6, false), value("010", 10, false),
                                           value("1j", 1, false), value("&H10", 16, false), value("lots", 0, false),
                                           value("1__0", 1, false)));

INSTANTIATE_TEST_SUITE_P(
    Statements, Scoring,
    ::testing::Values(
        ScoringCase{"LaterOnTheSameLine", "SCORE_KILL = 2; SCORE_KILL = 5  # last\n", 5,
                    "SCORE_KILL = 2; SCORE_KILL = 7  # last\n"},
        ScoringCase{"ValueOverTwoLines", "SCORE_KILL = (1 +  # one\n    2)   # and two\nSCORE_TEAMKILL = 3\n", 0,
                    "SCORE_KILL = 7   # and two\nSCORE_TEAMKILL = 3\n"},
        ScoringCase{"TheLastAssignmentHolds", "SCORE_KILL = 2\ndef f():\n    SCORE_KILL = 5\nSCORE_KILL = 4 # last\n",
                    4, "SCORE_KILL = 2\ndef f():\n    SCORE_KILL = 5\nSCORE_KILL = 7 # last\n"},
        ScoringCase{"NoValueYet", "SCORE_KILL =\nSCORE_TEAMKILL = 3\n", 0, "SCORE_KILL =7\nSCORE_TEAMKILL = 3\n"},
        ScoringCase{"TabsAndNoBlanks", "SCORE_KILL\t=\t0x1F\t# hex\n", 31, "SCORE_KILL\t=\t7\t# hex\n"}),
    [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32

// --- random scoring files, judged by Python ---------------------------------------------

// Between `minimum` and `maximum` digits from `alphabet`.
std::string digits(int minimum, int maximum, const std::string& alphabet = "0123456789") {
    const auto n = static_cast<std::size_t>(*rc::gen::inRange(minimum, maximum + 1));
    std::string d = *rc::gen::container<std::string>(n, rc::gen::elementOf(alphabet));
    std::string out;  // with an underscore now and then between two digits
    for (std::size_t i = 0; i < d.size(); ++i)
        out += (i > 0 && *rc::gen::inRange(0, 5) == 0 ? "_" : "") + d.substr(i, 1);
    return out;
}

// A Python number literal, signed: an integer (beyond 64 bits too), a real, one of another
// base, or one too large for a double.
std::string literal() {
    std::string text;
    switch (*rc::gen::inRange(0, 4)) {
    case 0:
        text = digits(1, 20);
        text.erase(0, std::min(text.find_first_not_of("0_"), text.size() - 1));  // Python refuses 007
        break;
    case 1: {
        const std::string whole = digits(0, 6);
        const int form = *rc::gen::inRange(0, 3);  // with a fraction, ending in the point, exponent only
        text = whole + (form == 0 || whole.empty() ? "." + digits(1, 4) : form == 1 ? "." : "");
        if (form == 2 || *rc::gen::arbitrary<bool>())
            text += *rc::gen::element<std::string>("e", "E") + std::to_string(*rc::gen::inRange(-20, 20));
        break;
    }
    case 2: {
        const std::string prefix = *rc::gen::element<std::string>("x", "X", "o", "O", "b", "B");
        const char base = static_cast<char>(std::tolower(prefix[0]));
        const std::string alphabet = base == 'x' ? "0123456789abcdefABCDEF" : base == 'o' ? "01234567" : "01";
        text = "0" + prefix + (*rc::gen::arbitrary<bool>() ? "_" : "") + digits(1, 24, alphabet);
        break;
    }
    default: text = "1e999";
    }
    return *rc::gen::element<std::string>("", "", "-", "+", "- ") + text;
}

RC_GTEST_PROP(PythonJudges, ShownValuesAndEditsAgreeWithPython, ()) {
    EditorState names;
    names.InitScoreNames();
    std::string text = "# scoring\n\"\"\"A docstring.\nSCORE_KILL = 12345\n\"\"\"\nfrom qmr import *\n";
    for (int n = *rc::gen::inRange(1, 40); n > 0; --n) {
        const std::string before = *rc::gen::element<std::string>(" ", "", "\t", "  ");
        const std::string value =
            *rc::gen::inRange(0, 5)
                ? literal()
                : *rc::gen::element<std::string>("2 * 3", "10 / 4", "(4)", "-(3)", "int('5')", "(1 +\n    2)",
                                                 "1 + \\\n  2", "len('#;')", "0x10 | 1", "7 # not a literal?");
        text += names.ScoreNames[*rc::gen::inRange<std::size_t>(0, 12)] + before + "=" + (before.empty() ? "" : " ") +
                value + *rc::gen::element<std::string>("", "", "   # points", " #", "; X = 1") +
                *rc::gen::element<std::string>("\n", "\r\n", "\n\n# x\n");
    }

    TempMod mod;
    mod.writeAll("", "", "", text);
    auto before = pythonConstants(mod.path(ModFile::Scoring));
    RC_ASSERT(before.has_value());
    EditorState state = mod.load();
    for (const ScoreEntry& e : state.ListScores) {
        const std::string& name = state.ScoreNames[e.Index];
        RC_ASSERT(before->count(name) == 1u);
        if (e.Literal) RC_ASSERT((*before)[name].shown == std::to_string(state.ScoreValues[e.Index]));
    }

    std::map<std::string, std::string> expected;
    for (const auto& [name, value] : *before) expected[name] = value.repr;
    for (std::size_t e = 0; e < state.ListScores.size(); ++e) {
        if (!*rc::gen::arbitrary<bool>()) continue;
        const std::int64_t v = *rc::gen::inRange<std::int64_t>(-1000, 1000);
        state.setScoreValue(e, v);
        expected[state.ScoreNames[state.ListScores[e].Index]] = std::to_string(v);
    }
    RC_ASSERT(SaveModSettings(state, {}).done());
    auto after = pythonConstants(mod.path(ModFile::Scoring));
    RC_ASSERT(after.has_value());
    std::map<std::string, std::string> got;
    for (const auto& [name, value] : *after) got[name] = value.repr;
    RC_ASSERT(got == expected);
}

#endif

}  // namespace
