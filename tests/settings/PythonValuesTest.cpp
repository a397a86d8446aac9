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
        ScoringCase{"SecondStatementOnTheLine", "SCORE_KILL = 2; SCORE_TEAMKILL = 3\n", 2,
                    "SCORE_KILL = 7; SCORE_TEAMKILL = 3\n"},
        ScoringCase{"LaterOnTheSameLine", "SCORE_KILL = 2; SCORE_KILL = 5  # last\n", 5,
                    "SCORE_KILL = 2; SCORE_KILL = 7  # last\n"},
        ScoringCase{"ValueOverTwoLines", "SCORE_KILL = (1 +  # one\n    2)   # and two\nSCORE_TEAMKILL = 3\n", 0,
                    "SCORE_KILL = 7   # and two\nSCORE_TEAMKILL = 3\n"},
        ScoringCase{"BackslashContinuation", "SCORE_KILL = 1 + \\\n 2\nSCORE_TEAMKILL = 3\n", 1,
                    "SCORE_KILL = 7\nSCORE_TEAMKILL = 3\n"},
        ScoringCase{"TheLastAssignmentHolds", "SCORE_KILL = 2\ndef f():\n    SCORE_KILL = 5\nSCORE_KILL = 4 # last\n",
                    4, "SCORE_KILL = 2\ndef f():\n    SCORE_KILL = 5\nSCORE_KILL = 7 # last\n"},
        ScoringCase{"AStringThatHoldsAHash", "SCORE_TEAMKILL = 3\nSCORE_KILL = len('#;')\n", 0,
                    "SCORE_TEAMKILL = 3\nSCORE_KILL = 7\n"},
        ScoringCase{"NoValueYet", "SCORE_KILL =\nSCORE_TEAMKILL = 3\n", 0, "SCORE_KILL =7\nSCORE_TEAMKILL = 3\n"},
        ScoringCase{"TabsAndNoBlanks", "SCORE_KILL\t=\t0x1F\t# hex\n", 31, "SCORE_KILL\t=\t7\t# hex\n"}),
    [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32

// --- random scoring files, judged by Python ---------------------------------------------

rc::Gen<std::string> digits(int minimum, int maximum) {
    return rc::gen::mapcat(rc::gen::inRange(minimum, maximum + 1), [](int n) {
        return rc::gen::container<std::string>(static_cast<std::size_t>(n),
                                               rc::gen::inRange('0', static_cast<char>('9' + 1)));
    });
}

// Digits with an underscore now and then between two of them.
std::string grouped(std::string d, std::uint64_t seed) {
    std::string out;
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (i > 0 && (seed >> (i % 64)) % 5 == 0) out += '_';
        out += d[i];
    }
    return out;
}

rc::Gen<std::string> literal() {
    auto integer = rc::gen::apply(
        [](std::string d, std::uint64_t seed) {
            d.erase(0, std::min(d.find_first_not_of('0'), d.size() - 1));  // Python refuses 007
            return grouped(d, seed);
        },
        digits(1, 12), rc::gen::arbitrary<std::uint64_t>());
    auto real = rc::gen::apply(
        [](std::string whole, std::string fraction, int form, int exponent, std::uint64_t seed) {
            std::string text = grouped(whole, seed);
            if (form == 0 || whole.empty())
                text += "." + fraction;
            else if (form == 1)
                text += ".";
            if (form == 2 || exponent % 3 == 0) text += (exponent % 2 ? "e" : "E") + std::to_string(exponent % 40 - 20);
            return text;
        },
        digits(0, 6), digits(1, 4), rc::gen::inRange(0, 3), rc::gen::inRange(0, 400),
        rc::gen::arbitrary<std::uint64_t>());
    auto radix = rc::gen::apply(
        [](std::uint32_t value, int base, bool upper, bool underscore) {
            const char* prefixes = upper ? "XOB" : "xob";
            const int radixes[] = {16, 8, 2};
            std::string text;
            do {
                text.insert(text.begin(), "0123456789abcdef"[value % radixes[base]]);
                value /= radixes[base];
            } while (value != 0);
            return std::string("0") + prefixes[base] + (underscore ? "_" : "") + text;
        },
        rc::gen::arbitrary<std::uint32_t>(), rc::gen::inRange(0, 3), rc::gen::arbitrary<bool>(),
        rc::gen::arbitrary<bool>());
    auto sign = rc::gen::element<std::string>("", "", "-", "+", "- ");
    return rc::gen::apply([](std::string s, std::string v) { return s + v; }, sign,
                          rc::gen::oneOf(integer, real, radix, rc::gen::just<std::string>("1e999")));
}

rc::Gen<std::string> expression() {
    return rc::gen::element<std::string>("2 * 3", "10 / 4", "(4)", "-(3)", "int('5')", "(1 +\n    2)", "1 + \\\n  2",
                                         "len('#;')", "0x10 | 1", "7 # not a literal?");
}

struct Constant {
    std::size_t index;
    std::string line;
};

rc::Gen<Constant> constantLine() {
    return rc::gen::apply(
        [](std::size_t index, std::string before, std::string value, std::string tail) {
            EditorState names;
            names.InitScoreNames();
            return Constant{index, names.ScoreNames[index] + before + "=" + (before.empty() ? "" : " ") + value + tail};
        },
        rc::gen::inRange<std::size_t>(0, 12), rc::gen::element<std::string>(" ", "", "\t", "  "),
        rc::gen::weightedOneOf<std::string>({{4, literal()}, {1, expression()}}),
        rc::gen::element<std::string>("", "", "   # points", " #", "; X = 1"));
}

RC_GTEST_PROP(PythonJudges, ShownValuesAndEditsAgreeWithPython, ()) {
    const auto constants = *rc::gen::nonEmpty(rc::gen::container<std::vector<Constant>>(constantLine()));
    std::string text = "# scoring\n\"\"\"A docstring.\nSCORE_KILL = 12345\n\"\"\"\nfrom qmr import *\n";
    for (const Constant& c : constants) text += c.line + *rc::gen::element<std::string>("\n", "\r\n", "\n\n# x\n");

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
