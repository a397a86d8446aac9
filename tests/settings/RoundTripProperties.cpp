// Laws of the loader and writer over random files:
//  - saving without an edit gives every file back byte for byte, whatever it holds;
//  - after random edits, a fresh load shows exactly the edited values, and every byte
//    outside the edited values is as it was.
// Files are generated as lines with known parts, so the expected bytes after an edit are
// built from those parts, not from the writer's own bookkeeping.

#include "ModWriter.h"
#include "TempMod.h"

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <map>
#include <optional>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

struct Line {
    std::string text;
    std::string end;
};
using File = std::vector<Line>;

std::string join(const File& file) {
    std::string out;
    for (const Line& l : file) out += l.text + l.end;
    return out;
}

rc::Gen<std::string> lineEnd() {
    return rc::gen::element<std::string>("\r\n", "\n", "\r", "\r\n", "\r\n");
}

// Any bytes but line ends.
rc::Gen<std::string> lineBytes() {
    return rc::gen::container<std::string>(
        rc::gen::suchThat(rc::gen::arbitrary<char>(), [](char c) { return c != '\r' && c != '\n'; }));
}

// A comment or other command: never a bot, setting or constant line.
rc::Gen<std::string> otherLine() {
    return rc::gen::map(lineBytes(), [](std::string s) { return "#" + s; });
}

// Builds a file from generated lines; the last may lose its line end.
template <typename T> rc::Gen<std::vector<std::pair<T, std::string>>> linesOf(rc::Gen<T> gen) {
    return rc::gen::container<std::vector<std::pair<T, std::string>>>(rc::gen::pair(gen, lineEnd()));
}

rc::Gen<std::string> printableName() {
    return rc::gen::container<std::string>(
        rc::gen::element<char>('A', 'b', 'z', '7', ' ', '_', '-', '.', '\'', '#', '='));
}

// --- bot-name file -------------------------------------------------------------------

struct BotLine {
    bool isBot;
    std::string text;  // the name for a bot line, else the whole line
};

// Other lines include some that only look like a bot's: the command must be followed by a blank.
rc::Gen<BotLine> botLine() {
    auto bot = rc::gen::map(lineBytes(), [](std::string s) { return BotLine{true, s}; });
    auto lookalike =
        rc::gen::element<std::string>("", "rem bots", "aiSettings.addBotNameX", "aiSettings.addBotName\tX");
    auto other = rc::gen::map(rc::gen::oneOf(otherLine(), lookalike), [](std::string s) { return BotLine{false, s}; });
    return rc::gen::oneOf(bot, other);
}

std::string botText(const BotLine& l) {
    return l.isBot ? std::string(BotNamePrefix) + l.text : l.text;
}

// --- settings files ------------------------------------------------------------------

struct SettingLine {
    std::optional<Setting> setting;  // set: a line of that setting
    std::string head;                // the command and the blanks after it
    std::string rest;                // what follows the value's word
    std::string text;
};

rc::Gen<SettingLine> settingLine() {
    auto value = rc::gen::oneOf(rc::gen::map(rc::gen::inRange(-20, 300), [](int v) { return std::to_string(v); }),
                                rc::gen::element<std::string>("0.35", "0.5", "1", "abc", "", "1e999"));
    auto setting = rc::gen::map(rc::gen::inRange(0, 6), [](int i) { return AllSettings[static_cast<std::size_t>(i)]; });
    auto real = rc::gen::apply(
        [](Setting s, std::string sep, std::string v, std::string rest) {
            if (sep.empty() || v.empty()) rest.clear();
            if (sep.empty()) v.clear();
            std::string head = std::string(settingInfo(s).command) + sep;
            return SettingLine{s, head, rest, head + v + rest};
        },
        setting, rc::gen::element<std::string>(" ", "\t", "  ", ""), value,
        rc::gen::element<std::string>("", "", "   # keep me", " ; extra", "\tmore"));
    // Lines that look alike but are other commands.
    auto nearMiss = rc::gen::apply(
        [](Setting s, std::string tail) {
            return SettingLine{std::nullopt, "", "", std::string(settingInfo(s).command) + tail};
        },
        setting, rc::gen::element<std::string>("Scale 2", "X", "=5"));
    auto other = rc::gen::map(otherLine(), [](std::string s) { return SettingLine{std::nullopt, "", "", s}; });
    return rc::gen::oneOf(real, nearMiss, other);
}

// --- scoring file --------------------------------------------------------------------

struct ScoreLine {
    std::optional<std::size_t> constant;
    std::string head;   // name and "=" with their spacing
    std::string value;  // the value's text
    std::string tail;   // spacing and comment after the value
    std::string text() const { return head + value + tail; }
};

rc::Gen<ScoreLine> scoreLine() {
    auto constant = rc::gen::apply(
        [](std::size_t index, std::string before, std::string after, int value, std::string decimals,
           std::string tail) {
            EditorState names;
            names.InitScoreNames();
            return ScoreLine{index, names.ScoreNames[index] + before + "=" + after, std::to_string(value) + decimals,
                             tail};
        },
        rc::gen::inRange<std::size_t>(0, ScoreCount), rc::gen::element<std::string>(" ", "", "\t", "  "),
        rc::gen::element<std::string>(" ", "", "\t "), rc::gen::inRange(-300, 300),
        rc::gen::element<std::string>("", "", ".5", ".25"), rc::gen::element<std::string>("", "   # points", " #"));
    auto other = rc::gen::map(otherLine(), [](std::string s) { return ScoreLine{std::nullopt, s, "", ""}; });
    return rc::gen::oneOf(constant, other);
}

// ---------------------------------------------------------------------------------------

template <typename T, typename F>
File toFile(const std::vector<std::pair<T, std::string>>& lines, bool finalEnd, F text) {
    File file;
    for (const auto& [line, end] : lines) file.push_back({text(line), end});
    if (!finalEnd && !file.empty()) file.back().end.clear();
    return file;
}

RC_GTEST_PROP(RoundTrip, SavingWithoutEditsKeepsAnyBytes, ()) {
    TempMod mod;
    std::vector<std::string> contents;
    for (int i = 0; i < 4; ++i) contents.push_back(*rc::gen::arbitrary<std::string>());
    contents[3] = *rc::gen::element<std::string>("", "from qmr i\n", "x\r\nfrom qmr import *\r") + contents[3];
    mod.writeAll(contents[0], contents[1], contents[2], contents[3]);
    EditorState state = mod.load();
    RC_ASSERT(SaveModSettings(state, {}).done());
    for (ModFile f : AllModFiles) RC_ASSERT(mod.read(f) == contents[static_cast<std::size_t>(f)]);
}

RC_GTEST_PROP(RoundTrip, EditsChangeOnlyTheirValues, ()) {
    const auto bots = *linesOf(botLine());
    const auto server = *linesOf(settingLine());
    const auto ai = *linesOf(settingLine());
    const auto header = *rc::gen::container<std::vector<std::string>>(otherLine());
    const auto scores = *linesOf(scoreLine());
    const bool finalEnd = *rc::gen::arbitrary<bool>();

    auto settingText = [](const SettingLine& l) { return l.text; };
    File botFile = toFile(bots, finalEnd, botText);
    File serverFile = toFile(server, finalEnd, settingText);
    File aiFile = toFile(ai, finalEnd, settingText);
    File scoreFile;
    for (const auto& h : header) scoreFile.push_back({h, "\r\n"});
    scoreFile.push_back({"from qmr import *", "\r\n"});
    for (const auto& [l, end] : scores) scoreFile.push_back({l.text(), end});
    if (!finalEnd) scoreFile.back().end.clear();

    TempMod mod;
    mod.writeAll(join(botFile), join(serverFile), join(aiFile), join(scoreFile));
    EditorState state = mod.load();

    // Bot names: a random subset renamed.
    File expectedBots = botFile;
    std::vector<std::string> expectedNames;
    std::size_t bot = 0;
    for (std::size_t i = 0; i < bots.size(); ++i) {
        if (!bots[i].first.isBot) continue;
        std::string name = state.botName(bot);
        if (*rc::gen::arbitrary<bool>()) {
            name = *printableName();
            RC_ASSERT(state.setBotName(bot, name) == NameProblem::None);
            expectedBots[i].text = std::string(BotNamePrefix) + name;
        }
        expectedNames.push_back(name);
        ++bot;
    }
    RC_ASSERT(bot == state.botCount());

    // Settings: each may get a new value.
    std::array<int, SettingCount> values{};
    File expectedServer = serverFile, expectedAi = aiFile;
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        int v = *rc::gen::oneOf(rc::gen::just(state.setting(s)), rc::gen::inRange(info.minimum, info.maximum + 1));
        values[static_cast<std::size_t>(s)] = v;
        if (v == state.setting(s)) continue;
        state.setSetting(s, v);
        bool inServer = info.file == ModFile::ServerSettings;
        File& expected = inServer ? expectedServer : expectedAi;
        const auto& source = inServer ? server : ai;
        // Only the value's word changes; the command's spelling, the blanks and what follows stay.
        bool found = false;
        for (std::size_t i = 0; i < source.size(); ++i) {
            const SettingLine& l = source[i].first;
            if (l.setting != s) continue;
            const bool bare = l.head.size() == info.command.size();
            expected[i].text = l.head + (bare ? " " : "") + settingValueText(s, v) + l.rest;
            found = true;
        }
        if (!found) {
            if (!expected.empty() && expected.back().end.empty()) expected.back().end = "\r\n";
            expected.push_back({std::string(info.command) + " " + settingValueText(s, v), "\r\n"});
        }
    }

    // Scoring constants: Python keeps the last assignment of each name; some get new values.
    File expectedScores = scoreFile;
    std::map<std::size_t, std::int64_t> expectedValues;
    std::map<std::size_t, std::size_t> lineOf;
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const ScoreLine& l = scores[i].first;
        if (l.constant) lineOf[*l.constant] = i;
    }
    RC_ASSERT(state.ListScores.size() == lineOf.size());
    for (std::size_t e = 0; e < state.ListScores.size(); ++e) {
        std::size_t index = state.ListScores[e].Index;
        RC_ASSERT(lineOf.count(index) == 1u);
        expectedValues[index] = state.ScoreValues[index];
        if (*rc::gen::arbitrary<bool>()) {
            std::int64_t v = *rc::gen::inRange<std::int64_t>(-1000, 1000);
            state.setScoreValue(e, v);
            expectedValues[index] = v;
            const ScoreLine& l = scores[lineOf[index]].first;
            if (state.ListScores[e].Edited) {
                expectedScores[header.size() + 1 + lineOf[index]].text = l.head + std::to_string(v) + l.tail;
            }
        }
    }

    RC_ASSERT(SaveModSettings(state, {}).done());
    RC_ASSERT(mod.read(ModFile::BotNames) == join(expectedBots));
    RC_ASSERT(mod.read(ModFile::ServerSettings) == join(expectedServer));
    RC_ASSERT(mod.read(ModFile::AIDefaults) == join(expectedAi));
    RC_ASSERT(mod.read(ModFile::Scoring) == join(expectedScores));

    EditorState fresh = mod.load();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < fresh.botCount(); ++i) names.push_back(fresh.botName(i));
    RC_ASSERT(names == expectedNames);
    for (Setting s : AllSettings) RC_ASSERT(fresh.setting(s) == values[static_cast<std::size_t>(s)]);
    for (const auto& [index, value] : expectedValues) RC_ASSERT(fresh.ScoreValues[index] == value);

    // What the state kept after the save is what a fresh load finds: the next save starts from it.
    auto same = [](LineRef a, LineRef b) { return a.begin == b.begin && a.length == b.length; };
    RC_ASSERT(state.editedBotNames().empty());
    RC_ASSERT(state.BotFile.Text == fresh.BotFile.Text);
    RC_ASSERT(state.TextFF.Text == fresh.TextFF.Text);
    RC_ASSERT(state.TextAI.Text == fresh.TextAI.Text);
    RC_ASSERT(state.TextScoreA + state.TextScoreB.Text == fresh.TextScoreA + fresh.TextScoreB.Text);
    RC_ASSERT(state.botCount() == fresh.botCount());
    for (std::size_t i = 0; i < state.botCount(); ++i) {
        RC_ASSERT(same(state.botLine(i), fresh.botLine(i)));
        RC_ASSERT(state.botName(i) == fresh.botName(i));
    }
    for (Setting s : AllSettings) {
        const auto& kept = state.SettingLines[static_cast<std::size_t>(s)];
        const auto& found = fresh.SettingLines[static_cast<std::size_t>(s)];
        RC_ASSERT(std::equal(kept.begin(), kept.end(), found.begin(), found.end(), [&](const auto& a, const auto& b) {
            return same(a.Line, b.Line) && same(a.Value, b.Value);
        }));
        RC_ASSERT(state.savedSetting(s) == fresh.savedSetting(s));
    }
    RC_ASSERT(state.ListScores.size() == fresh.ListScores.size());
    for (std::size_t e = 0; e < state.ListScores.size(); ++e) {
        RC_ASSERT(same(state.ListScores[e].Value, fresh.ListScores[e].Value));
        RC_ASSERT(state.ListScores[e].Text == fresh.ListScores[e].Text);
    }
}

}  // namespace
