// The scoring file is Python, run by the game's Python 2.7: what the editor shows for a
// constant, and what the file holds after an edit, are judged by Python's own grammar and
// values (lib2to3's Python 2 grammar and 2to3, run by python3).

#include "ModWriter.h"
#include "PythonJudge.h"
#include "TempMod.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#endif

#include <algorithm>
#include <limits>
#include <tuple>
#include <vector>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

// A whole scoring file, SCORE_KILL's list line, and the file after SCORE_KILL was set to
// `value`: "" when the editor must not change it.
struct ScoringCase {
    const char* name;
    std::string file;
    std::string shown;
    std::string after;
    std::int64_t value = 7;
};

// After the usual header.
ScoringCase tail(const char* name, std::string file, std::string shown, std::string after = "") {
    const std::string header = "SCORE_KILL = 99  # not one yet\n\"\"\"Scores.\"\"\"\nfrom qmr import *\n";
    return {name, header + file, std::move(shown), after.empty() ? "" : header + after};
}

// Failures name the file's text, not its bytes.
void PrintTo(const ScoringCase& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.file);
}

class Scoring : public ::testing::TestWithParam<ScoringCase> {};

TEST_P(Scoring, AnEditChangesTheNameAndNothingElsePythonReads) {
    const ScoringCase& c = GetParam();
    TempMod mod;
    mod.writeAll("", "", "", c.file);
    EditorState state = mod.load();
    auto row = std::find_if(state.ListScores().begin(), state.ListScores().end(), [](auto& e) { return e.Index == 0; });
    ASSERT_NE(row, state.ListScores().end());
    EXPECT_EQ(row->Text, c.shown);
    EXPECT_EQ(row->Editable, !c.after.empty()) << row->NotEditableReason;
    EXPECT_EQ(row->NotEditableReason.empty(), row->Editable);
    EXPECT_EQ(state.TextScore.cannotRun(), "");
    auto before = pythonNames(mod.path(ModFile::Scoring));
    if (before && row->Literal && row->Editable) {
        EXPECT_EQ(std::to_string(state.ScoreValues[0]), (*before)["SCORE_KILL"].shown);
    }

    state.setScoreValue(static_cast<std::size_t>(row - state.ListScores().begin()), c.value);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(mod.read(ModFile::Scoring), c.after.empty() ? c.file : c.after);
    // What the save left in the state is what a new reading of the written file finds.
    auto entries = [](const EditorState& s) {
        std::vector<std::tuple<std::size_t, std::size_t, std::size_t, std::size_t, std::size_t, std::int64_t, bool,
                               bool, std::string>>
            all;
        for (const ScoreEntry& e : s.ListScores())
            all.emplace_back(e.Index, e.Line.begin, e.Line.length, e.Value.begin, e.Value.length, e.SavedValue,
                             e.Literal, e.Edited, e.Text);
        return all;
    };
    EXPECT_EQ(entries(state), entries(mod.load()));
    EXPECT_EQ(state.TextScore.TextScoreA(), mod.load().TextScore.TextScoreA());
    TARSUN_NEEDS_PYTHON();
    auto after = pythonNames(mod.path(ModFile::Scoring));
    ASSERT_TRUE(before && after) << "Python cannot run the file";
    if (!c.after.empty()) (*before)["SCORE_KILL"] = {std::to_string(c.value), std::to_string(c.value)};
    EXPECT_EQ(*after, *before);
}

const std::string Kill2 = "SCORE_KILL = 2\n";

INSTANTIATE_TEST_SUITE_P(
    Bindings, Scoring,
    ::testing::Values(
        tail("Chained", "SCORE_KILL = SCORE_TEAMKILL = 5\nSCORE_SO_KILL = SCORE_TEAMKILL * 2\n",
             "SCORE_KILL = SCORE_TEAMKILL = 5"),
        tail("Augmented", Kill2 + "SCORE_KILL += 1\n", "SCORE_KILL += 1"),
        tail("Unpacked", Kill2 + "(SCORE_KILL, X) = (3, 4)\n", "(SCORE_KILL, X) = (3, 4)"),
        tail("InAnIf", Kill2 + "if True:\n    SCORE_KILL = 3\n", "    SCORE_KILL = 3"),
        tail("Deleted", Kill2 + "del SCORE_KILL\nSCORE_KILL_X = 1\n", "del SCORE_KILL"),
        tail("ImportedAs", Kill2 + "import os as SCORE_KILL\n", "import os as SCORE_KILL"),
        tail("LoopVariable", Kill2 + "for SCORE_KILL in range(2): pass\n", "for SCORE_KILL in range(2): pass"),
        tail("Defined", Kill2 + "class SCORE_KILL:\n    pass\n", "class SCORE_KILL:"),
        tail("WithAs", Kill2 + "with memoryview(b'') as SCORE_KILL:\n    pass\n",
             "with memoryview(b'') as SCORE_KILL:"),
        tail("ExceptAs", Kill2 + "try:\n    1 / 0\nexcept ZeroDivisionError as SCORE_KILL:\n    pass\n",
             "except ZeroDivisionError as SCORE_KILL:"),
        tail("GlobalInAFunction", Kill2 + "def f():\n    global SCORE_KILL\n    SCORE_KILL = 5\nf()\n",
             "SCORE_KILL = 2"),
        tail("StarImportLater", Kill2 + "from qmr import *\nSCORE_TEAMKILL = 3\n", "SCORE_KILL = 2"),
        tail("CallInTheValue", "SCORE_KILL = int('5')\n", "SCORE_KILL = int('5')"),
        tail("AfterASemicolon", Kill2 + "pass; SCORE_KILL = 5  # last\n", "pass; SCORE_KILL = 5  # last",
             Kill2 + "pass; SCORE_KILL = 7  # last\n"),
        tail("AfterAFormFeed", Kill2 + "\fSCORE_KILL = 5\n", "\fSCORE_KILL = 5", Kill2 + "\fSCORE_KILL = 7\n"),
        tail("NameContinued", Kill2 + "SCORE_KILL \\\n= 5\n", "SCORE_KILL \\ = 5", Kill2 + "SCORE_KILL \\\n= 7\n"),
        tail("ValueContinued", "SCORE_KILL = \\\n    5\n", "SCORE_KILL = \\     5", "SCORE_KILL = \\\n    7\n"),
        tail("ValueOverTwoLines", "SCORE_KILL = (1 +  # one\r\n    2)   # and two\r\n",
             "SCORE_KILL = (1 +  # one     2)   # and two", "SCORE_KILL = 7   # and two\r\n"),
        tail("Expression", "SCORE_KILL = 0x10 * 2\n", "SCORE_KILL = 0x10 * 2", "SCORE_KILL = 7\n"),
        tail("AFunctionsOwnName", Kill2 + "def f():\n    SCORE_KILL = 5\n[SCORE_KILL for SCORE_KILL in '']\n",
             "SCORE_KILL = 2", "SCORE_KILL = 7\ndef f():\n    SCORE_KILL = 5\n[SCORE_KILL for SCORE_KILL in '']\n"),
        tail("InADocstring", Kill2 + "X = '''\nSCORE_KILL = 5\n'''\n", "SCORE_KILL = 2",
             "SCORE_KILL = 7\nX = '''\nSCORE_KILL = 5\n'''\n"),
        ScoringCase{"ByteOrderMark", "\xEF\xBB\xBF# -*- coding: utf-8 -*-\n\nfrom qmr import *\nSCORE_KILL = 5\n",
                    "SCORE_KILL = 5", "\xEF\xBB\xBF# -*- coding: utf-8 -*-\n\nfrom qmr import *\nSCORE_KILL = 7\n"},
        ScoringCase{"OnTheHeadersLine", "from  qmr import *; SCORE_KILL = 5\n", "SCORE_KILL = 5",
                    "from  qmr import *; SCORE_KILL = 7\n"},
        ScoringCase{"SecondHeader", "from qmr import *\nSCORE_KILL = 2\nfrom qmr import *\n", "SCORE_KILL = 2", ""},
        // Python 2's own forms.
        tail("ExceptComma", Kill2 + "try:\n    1 / 0\nexcept ZeroDivisionError, SCORE_KILL:\n    pass\n",
             "except ZeroDivisionError, SCORE_KILL:"),
        tail("Octal", "SCORE_KILL = 010\n", "SCORE_KILL = 010", "SCORE_KILL = 7\n"),
        tail("OctalLong", "SCORE_KILL = -0777L\n", "SCORE_KILL = -0777L", "SCORE_KILL = 7\n"),
        tail("HexLong", "SCORE_KILL = 0X1F + 0x10L\nSCORE_TEAMKILL = 10L\n", "SCORE_KILL = 0X1F + 0x10L",
             "SCORE_KILL = 7\nSCORE_TEAMKILL = 10L\n"),
        tail("SignOnTheLineBefore", "SCORE_KILL = - \\\n    5\n", "SCORE_KILL = - \\     5", "SCORE_KILL = 7\n"),
        tail("PrintStatements", "def f((a, b)):\n    print \"scoring\", `a`\n    if a <> b: exec \"x = 1\"\n"
             "SCORE_KILL = 5\n", "SCORE_KILL = 5",
             "def f((a, b)):\n    print \"scoring\", `a`\n    if a <> b: exec \"x = 1\"\nSCORE_KILL = 7\n"),
        // A tab takes Python 2 to column 8: the same block as eight blanks (Python 3 refuses it).
        tail("TabIsEightColumns", Kill2 + "if 1:\n        X = 1\n\tSCORE_KILL = 5\n", "\tSCORE_KILL = 5"),
        // Python holds -0.5, shown rounded to 0: choosing 0 writes it.
        ScoringCase{"Fraction", "from qmr import *\nSCORE_KILL = -0.5\n", "SCORE_KILL = -0.5",
                    "from qmr import *\nSCORE_KILL = 0\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A file the game's Python 2 refuses: SCORE_KILL's list line, and why, with the line.
struct CannotRun {
    const char* name;
    std::string tail;
    std::string shown;
    std::string why;
    bool judged = true;  // lib2to3 knows the rule (it has no limit of nesting)
};
void PrintTo(const CannotRun& c, std::ostream* out) {
    *out << ::testing::PrintToString(c.tail.substr(0, 200));
}

class GameCannotRun : public ::testing::TestWithParam<CannotRun> {};

// Listed with their text, none editable, the reason named with its line; a set writes nothing.
TEST_P(GameCannotRun, ConstantsAreListedAndNothingIsWritten) {
    const CannotRun& c = GetParam();
    const std::string file = "# -*- coding: utf-8 -*-\n\"\"\"Scores.\"\"\"\nfrom qmr import *\nSCORE_KILL = 3\n" + c.tail;
    TempMod mod;
    mod.writeAll("", "", "", file);
    EditorState state = mod.load();
    EXPECT_EQ(state.TextScore.cannotRun(), c.why);
    ASSERT_FALSE(state.ListScores().empty());
    const ScoreEntry& row = state.ListScores()[0];
    EXPECT_EQ(row.Index, 0u);
    EXPECT_EQ(row.Text, c.shown);
    for (const ScoreEntry& e : state.ListScores()) {
        EXPECT_FALSE(e.Editable);
        EXPECT_EQ(e.NotEditableReason, "the game's Python 2 cannot run the file: " + c.why);
    }
    state.setScoreValue(0, 7);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(mod.read(ModFile::Scoring), file);
    TARSUN_NEEDS_PYTHON();
    if (c.judged) {
        EXPECT_FALSE(pythonNames(mod.path(ModFile::Scoring))) << "Python 2 runs it";
    }
}

std::string nested(std::size_t depth) {
    return std::string(depth, '(') + "5" + std::string(depth, ')');
}

INSTANTIATE_TEST_SUITE_P(
    Python2, GameCannotRun,
    ::testing::Values(
        CannotRun{"Grouped", "SCORE_KILL = 1_000\n", "SCORE_KILL = 1_000",
                  "line 5: 1_000: digits grouped with _ are Python 3 only (write 1000)"},
        CannotRun{"FString", "X = f'{SCORE_KILL}'\n", "SCORE_KILL = 3",
                  "line 5: the string prefix f (an f-string) is Python 3 only"},
        CannotRun{"Annotated", "SCORE_KILL: int = 5\n", "SCORE_KILL: int = 5",
                  "line 5: an annotated assignment (NAME: type = ...) is Python 3 only"},
        CannotRun{"Walrus", "X = (SCORE_KILL := 5)\n", "X = (SCORE_KILL := 5)",
                  "line 5: an assignment expression (:=) is Python 3 only"},
        CannotRun{"Match", "match 5:\n    case SCORE_KILL:\n        pass\n", "    case SCORE_KILL:",
                  "line 5: match is Python 3 only"},
        // A name beyond ASCII is another name to Python 3 (and to a parser fed letters), none to Python 2.
        CannotRun{"NameBeyondAscii", "SCORE_KILL\xC3\xA9 = 9\n", "SCORE_KILL = 3",
                  "line 5: the name SCORE_KILL... holds a character beyond ASCII (Python 2 names are ASCII "
                  "letters, digits and _ only)"},
        CannotRun{"NoIndentedBlock", "if g_debug:\nSCORE_KILL = 5\n", "SCORE_KILL = 5",
                  "line 6: expected an indented block"},
        CannotRun{"UnexpectedIndent", "X = 1\n  SCORE_KILL = 5\n", "  SCORE_KILL = 5", "line 6: unexpected indent"},
        CannotRun{"DedentToNoLevel", "if 1:\n        X = 1\n    SCORE_KILL = 5\n", "    SCORE_KILL = 5",
                  "line 7: unindent does not match any outer indentation level"},
        CannotRun{"TabsAnotherBlock", "if 1:\n\tX = 1\n    SCORE_KILL = 5\n", "    SCORE_KILL = 5",
                  "line 7: unindent does not match any outer indentation level"},
        CannotRun{"UnclosedBracket", "X = (1,\n", "SCORE_KILL = 3", "line 5: a bracket opened here is never closed"},
        CannotRun{"InvalidSyntax", "X = = 2\n", "SCORE_KILL = 3", "line 5: invalid syntax"},
        // A one-line assignment, read without the parser, before what cannot follow it.
        CannotRun{"ElseAfterAnAssignment", "if 1:\n    pass\nSCORE_KILL = 5\nelse:\n    pass\n", "SCORE_KILL = 5",
                  "line 8: invalid syntax"},
        CannotRun{"NoneAssigned", "None = 5\n", "SCORE_KILL = 3", "line 5: invalid syntax"},
        CannotRun{"StringNeverClosed", "X = '''\n" + std::string(100'000, '\n') + "SCORE_KILL = 5\n", "SCORE_KILL = 3",
                  "line 5: a string opened here with ''' is never closed"},
        CannotRun{"BracketsTooDeep", "SCORE_KILL = " + nested(99) + "\n", "SCORE_KILL = " + nested(99),
                  "line 5: nested too deeply for Python 2's parser (more than 98 brackets, one inside the other)", false},
        CannotRun{"SignsTooDeep", "SCORE_KILL = " + std::string(100'000, '-') + "5\n",
                  "SCORE_KILL = " + std::string(100'000, '-') + "5",
                  "line 5: an expression nested too deeply for Python 2's parser (signs or powers, one inside the "
                  "other)", false},
        CannotRun{"BracketsVeryDeep", "SCORE_KILL = " + nested(100'000) + "\n", "SCORE_KILL = " + nested(100'000),
                  "line 5: nested too deeply for Python 2's parser (more than 98 brackets, one inside the other)", false}),
    [](const auto& info) { return std::string(info.param.name); });

// 98 brackets are still Python 2's; a value at the 64-bit limit set to itself keeps its text.
TEST(Python2, LimitsStillRunAndKeepTheirText) {
    TempMod mod;
    const std::string file = "from qmr import *\nSCORE_KILL = 0x7FFFFFFFFFFFFFFF\nSCORE_TEAMKILL = " + nested(98) + "\n";
    mod.writeAll("", "", "", file);
    EditorState state = mod.load();
    EXPECT_EQ(state.TextScore.cannotRun(), "");
    ASSERT_EQ(state.ListScores().size(), 2u);
    EXPECT_TRUE(state.ListScores()[0].Literal);
    state.setScoreValue(0, std::numeric_limits<std::int64_t>::max());
    EXPECT_FALSE(state.ListScores()[0].Edited);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(mod.read(ModFile::Scoring), file);
}

// A large file is parsed in parts; no part may cut a statement from its else, except or
// decorator, and a fault far down keeps its line.
TEST(Python2, ALargeFileReadsAsAWhole) {
    std::string file = "from qmr import *\nSCORE_KILL = 2\n";
    std::size_t lines = 2;
    for (int i = 0; file.size() < 600'000; ++i, lines += 10)
        file += "if X:\n    Y = 1\nelif Z:\n    Y = 3\nelse:\n    Y = 2\n@dec\ndef f" + std::to_string(i) +
                "(): pass\ntry: pass\nexcept E, e: pass\n";
    TempMod mod;
    mod.writeAll("", "", "", file + "SCORE_TEAMKILL = 5\n");
    EditorState state = mod.load();
    EXPECT_EQ(state.TextScore.cannotRun(), "");
    ASSERT_EQ(state.ListScores().size(), 2u);
    EXPECT_EQ(state.ScoreValues[1], 5);
    EXPECT_TRUE(state.ListScores()[1].Editable) << state.ListScores()[1].NotEditableReason;

    mod.writeAll("", "", "", file + "SCORE_TEAMKILL = 5\n  SCORE_TEAMKILL = 6\n");
    state = mod.load();
    EXPECT_EQ(state.TextScore.cannotRun(), "line " + std::to_string(lines + 2) + ": unexpected indent");
}

#ifdef TARSUN_EXAMPLES_DIR
// The sample mods, Old Guard's in the Python 2 style of real mods: every constant shown as
// the game's Python 2 holds it.
TEST(Python2, SampleModsShowWhatTheGameHolds) {
    TARSUN_NEEDS_PYTHON();
    for (const auto& folder : std::filesystem::directory_iterator(TARSUN_EXAMPLES_DIR "/Kestrelfall/mods")) {
        EditorState state(CodePage::windows1252());
        state.ModFolder = folder.path();
        state.InitScoreNames();
        ASSERT_TRUE(LoadModSettings(state).loaded()) << folder.path();
        EXPECT_EQ(state.TextScore.cannotRun(), "") << folder.path();
        auto python = pythonNames(FolderListings().findModFile(folder.path(), ModFile::Scoring));
        ASSERT_TRUE(python) << folder.path();
        EXPECT_GE(state.ListScores().size(), 4u) << folder.path();
        for (const ScoreEntry& e : state.ListScores()) {
            EXPECT_TRUE(e.Editable) << e.NotEditableReason;
            EXPECT_EQ(std::to_string(state.ScoreValues[e.Index]), (*python)[state.ScoreNames[e.Index]].shown);
        }
    }
}
#endif

#ifndef _WIN32

// --- random scoring files, judged by Python ---------------------------------------------

// Between `minimum` and `maximum` digits from `alphabet`.
std::string digits(int minimum, int maximum, const std::string& alphabet = "0123456789") {
    const auto n = static_cast<std::size_t>(*rc::gen::inRange(minimum, maximum + 1));
    return *rc::gen::container<std::string>(n, rc::gen::elementOf(alphabet));
}

// A Python 2 number literal, signed: an integer (beyond 64 bits too, a long), an octal one
// (010), a real, one of another base, or one too large for a double.
std::string literal() {
    std::string text;
    const std::string suffix = *rc::gen::element<std::string>("", "", "", "L", "l");
    switch (*rc::gen::inRange(0, 5)) {
    case 0:
        text = digits(1, 20);
        text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));  // 007 is octal
        text += suffix;
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
        // lib2to3 refuses 0b1L, which Python 2.7 takes.
        text = "0" + prefix + digits(1, 24, alphabet) + (base == 'b' ? "" : suffix);
        break;
    }
    case 3: text = "0" + digits(1, 22, "01234567") + suffix; break;
    default: text = "1e999";
    }
    return *rc::gen::element<std::string>("", "", "-", "+", "- ", "-(", "(- ") + text;
}

// One statement of a scoring file, any of the ways Python 2 binds a name, now and then one
// the game cannot run. `numbers` are the names that hold a number now; what the statement
// binds is taken out or put in. Values are read from X only, which nothing sets again: a
// value derived from an edited one would change with it, as it should.
std::string statement(std::vector<std::string>& numbers) {
    static const std::vector<std::string> pool = [] {
        EditorState names;
        names.InitScoreNames();
        std::vector<std::string> p(names.ScoreNames.begin(), names.ScoreNames.begin() + 10);
        p.push_back("helper");
        return p;
    }();
    const std::string a = *rc::gen::elementOf(pool), b = *rc::gen::elementOf(pool);
    std::string v = *rc::gen::inRange(0, 4) ? literal()
                                            : *rc::gen::element<std::string>("2 * 3", "(4)", "-(3)", "(1 +\n    2)",
                                                                             "1 + \\\n  2", "0x10 | 1", "len('#;')");
    if (v.find('(') == 0 || v.find("-(") == 0) v += ")";
    auto holds = [&](const std::string& n, bool number) {
        std::erase(numbers, n);
        if (number) numbers.push_back(n);
    };
    const std::string known = numbers.empty() ? "" : *rc::gen::elementOf(numbers);
    // The last few, which the game's Python 2 refuses, come rarely.
    switch (numbers.empty() ? 0 : *rc::gen::inRange(0, 60) / 3) {
    case 1: holds(a, true), holds(b, true); return a + " = " + b + " = " + v;
    case 2: holds(a, true); return a + " = X * 2";
    case 3: return known + " += 1";
    case 4: return "print \"scoring\", X, `X`\nif X <> 2: exec \"Y = 1\"";
    case 5: holds(a, true), holds(b, true); return "(" + a + ", " + b + ") = (" + v + ", 4)";
    case 6: holds(a, false); return "try:\n    1 / 0\nexcept ZeroDivisionError, " + a + ":\n    pass";
    case 7: holds(a, true); return "if X > 0:\n    " + a + " = " + v + "\nelse:\n    " + a + " = 1";
    case 8: holds(a, true); return "for " + a + " in range(3):\n    pass";
    case 9: holds(known, false); return "del " + known;
    case 10: holds(a, false); return "import os as " + a;
    case 11: holds(a, true); return "def f():\n    global " + a + "\n    " + a + " = 5\nf()";
    case 12: return "class Table:\n    " + a + " = 1\n    '''" + b + " = 2'''";
    case 13: holds(a, true); return "pass; " + a + " = " + v;
    case 14: holds(a, true); return "\f" + a + " \\\n= " + v + "  # points";
    // A tab is eight columns to Python 2 (Python 3 refuses the mix).
    case 15: holds(a, true), holds(b, true); return "if X:\n\t" + a + " = " + v + "\n        " + b + " = 1";
    case 16: return *rc::gen::element<std::string>(a + ": int = 5", "(" + a + " := 5)", a + " = 1_000",
                                                   a + " = f'{X}'", "match X:\n    case 1:\n        pass");
    case 17: return *rc::gen::element<std::string>("if X:\n" + a + " = 1", "  " + a + " = 1",
                                                   "if X:\n        Y = 1\n    " + a + " = 1", a + "\xE9 = 1");
    default: holds(a, true); return a + *rc::gen::element<std::string>(" = ", "=", "\t= ") + v;
    }
}

RC_GTEST_PROP(PythonJudges, AnEditChangesItsNameAndNothingElse, ()) {
    std::vector<std::string> numbers;
    std::string text = "# scoring\n\"\"\"A docstring.\nSCORE_KILL = 12345\n\"\"\"\nfrom qmr import *\nX = 1\n";
    if (*rc::gen::arbitrary<bool>()) text = "import host\n\nX = 1\n";  // no header: the whole module counts
    for (int n = *rc::gen::inRange(1, 30); n > 0; --n)
        text += statement(numbers) + *rc::gen::element<std::string>("\n", "\r\n", "\n\n# x\n");

    RC_LOG() << text;
    TempMod mod;
    mod.writeAll("", "", "", text);
    // The game's Python 2 holds; where Python 3 runs the file too, the two agree.
    auto before = pythonNames(mod.path(ModFile::Scoring), Python::Two);
    auto before3 = pythonNames(mod.path(ModFile::Scoring), Python::Three);
    EditorState state = mod.load();
    RC_ASSERT(state.TextScore.cannotRun().empty() == before.has_value());
    for (const ScoreEntry& e : state.ListScores()) {
        const std::string& name = state.ScoreNames[e.Index];
        RC_ASSERT(!e.Editable || before);
        if (!e.Editable) continue;
        RC_ASSERT(before->count(name) == 1u);
        const PythonValue& python = (*before)[name];
        if (python.literal) RC_ASSERT(python.shown == std::to_string(state.ScoreValues[e.Index]));
        if (e.Literal) RC_ASSERT(python.literal);
        if (before3 && python.literal) RC_ASSERT((*before3)[name] == python);
    }

    // Each edit replaces its value's bytes and nothing else.
    std::string expectedText = state.TextScore.file().Text;
    std::vector<std::size_t> edited;  // from the file's end, so that each span still stands
    for (std::size_t e = 0; e < state.ListScores().size(); ++e)
        if (*rc::gen::arbitrary<bool>()) edited.push_back(e);
    std::ranges::sort(edited, std::greater{}, [&](std::size_t e) { return state.ListScores()[e].Value.begin; });
    for (std::size_t e : edited) {
        const ScoreEntry& entry = state.ListScores()[e];
        const std::int64_t v = *rc::gen::inRange<std::int64_t>(-1000, 1000);
        const bool changes = entry.Editable && (v != entry.SavedValue || !entry.Literal);
        state.setScoreValue(e, v);
        if (!changes) continue;
        expectedText.replace(entry.Value.begin, entry.Value.length, std::to_string(v));
        (*before)[state.ScoreNames[entry.Index]] = {std::to_string(v), std::to_string(v)};
        if (before3) (*before3)[state.ScoreNames[entry.Index]] = {std::to_string(v), std::to_string(v)};
    }
    RC_ASSERT(SaveModSettings(state, {}).done());
    RC_ASSERT(mod.read(ModFile::Scoring) == expectedText);
    if (!before) return;  // nothing was editable, nothing written
    auto after = pythonNames(mod.path(ModFile::Scoring), Python::Two);
    RC_ASSERT(after.has_value());
    RC_ASSERT(*after == *before);
    if (!before3) return;
    auto after3 = pythonNames(mod.path(ModFile::Scoring), Python::Three);
    RC_ASSERT(after3.has_value());
    RC_ASSERT(*after3 == *before3);
}

#endif

}  // namespace
