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
#include <sstream>

using namespace tarsun;
using namespace tarsun::testing;

namespace {

// A line as known parts: for a bot, setting or constant line its key (the setting's or the
// constant's index, 0 for a bot) and the value between head and tail; key -1 for any other.
struct Line {
    int key = -1;
    std::string head, value, tail, end;
    std::string text() const { return head + value + tail; }
};
using File = std::vector<Line>;

std::string join(const File& file) {
    std::string out;
    for (const Line& l : file) out += l.text() + l.end;
    return out;
}

// Any bytes but line ends.
rc::Gen<std::string> lineBytes() {
    return rc::gen::container<std::string>(
        rc::gen::suchThat(rc::gen::arbitrary<char>(), [](char c) { return c != '\r' && c != '\n'; }));
}

// A comment, or a line that only looks like one of ours.
rc::Gen<Line> otherLine(std::vector<std::string> lookalikes = {""}) {
    auto text = rc::gen::oneOf(rc::gen::map(lineBytes(), [](std::string s) { return "#" + s; }),
                               rc::gen::elementOf(lookalikes));
    return rc::gen::map(text, [](std::string s) { return Line{-1, s, "", "", ""}; });
}

// Lines with their ends; the last may lose its end.
rc::Gen<File> fileOf(rc::Gen<Line> line, bool finalEnd) {
    auto ended = rc::gen::apply(
        [](Line l, std::string end) {
            l.end = end;
            return l;
        },
        line, rc::gen::element<std::string>("\r\n", "\n", "\r", "\r\n", "\r\n"));
    return rc::gen::map(rc::gen::container<File>(ended), [finalEnd](File f) {
        if (!finalEnd && !f.empty()) f.back().end.clear();
        return f;
    });
}

// The command must be followed by a blank.
rc::Gen<Line> botLine() {
    auto bot = rc::gen::map(lineBytes(), [](std::string s) { return Line{0, std::string(BotNamePrefix), s, "", ""}; });
    return rc::gen::oneOf(bot, otherLine({"", "rem bots", "aiSettings.addBotNameX", "aiSettings.addBotName\tX"}));
}

// A new name as typed (UTF-8) and as the file holds it (Windows-1252).
rc::Gen<std::pair<std::string, std::string>> newBotName() {
    static const std::pair<const char*, const char*> chars[] = {
        {"A", "A"}, {"z", "z"},           {"7", "7"},
        {" ", " "}, {"'", "'"},           {"#", "#"},
        {"=", "="}, {"\xC3\xA4", "\xE4"}, {"\xE2\x82\xAC", "\x80"}};
    return rc::gen::map(rc::gen::container<std::vector<int>>(rc::gen::inRange(0, 9)), [](std::vector<int> picks) {
        std::pair<std::string, std::string> name;
        for (int p : picks) name = {name.first + chars[p].first, name.second + chars[p].second};
        return name;
    });
}

// A setting's line keeps the command's spelling, the blanks and what follows the value's word;
// other commands that begin alike are not the setting.
rc::Gen<Line> settingLine() {
    auto setting = rc::gen::inRange(0, static_cast<int>(SettingCount));
    auto value = rc::gen::oneOf(rc::gen::map(rc::gen::inRange(-20, 300), [](int v) { return std::to_string(v); }),
                                rc::gen::element<std::string>("0.35", "0.5", "1", "abc", "", "1e999"));
    auto real = rc::gen::apply(
        [](int s, std::string sep, std::string v, std::string rest) {
            if (sep.empty() || v.empty()) rest.clear();
            if (sep.empty()) v.clear();
            return Line{s, std::string(settingInfo(AllSettings[s]).command) + sep, v, rest, ""};
        },
        setting, rc::gen::element<std::string>(" ", "\t", "  ", ""), value,
        rc::gen::element<std::string>("", "", "   # keep me", " ; extra", "\tmore"));
    auto nearMiss = rc::gen::apply(
        [](int s, std::string tail) {
            return Line{-1, std::string(settingInfo(AllSettings[s]).command) + tail, "", "", ""};
        },
        setting, rc::gen::element<std::string>("Scale 2", "X", "=5"));
    return rc::gen::oneOf(real, nearMiss, otherLine());
}

rc::Gen<Line> scoreLine() {
    auto constant = rc::gen::apply(
        [](int index, std::string before, std::string after, int value, std::string decimals, std::string tail) {
            EditorState names;
            names.InitScoreNames();
            return Line{index, names.ScoreNames[static_cast<std::size_t>(index)] + before + "=" + after,
                        std::to_string(value) + decimals, tail, ""};
        },
        rc::gen::inRange(0, static_cast<int>(ScoreCount)), rc::gen::element<std::string>(" ", "", "\t", "  "),
        rc::gen::element<std::string>(" ", "", "\t "), rc::gen::inRange(-300, 300),
        rc::gen::element<std::string>("", "", ".5", ".25"), rc::gen::element<std::string>("", "   # points", " #"));
    return rc::gen::oneOf(constant, otherLine());
}

// What the state keeps of the files, in words: after a save it must be what a fresh load finds,
// since the next save starts from it.
std::string kept(const EditorState& state) {
    std::ostringstream out;
    auto spans = [&](auto... refs) -> std::ostream& { return ((out << refs.begin << '+' << refs.length << ' '), ...); };
    out << state.BotFile.file().Text << '|' << state.TextFF.file().Text << '|' << state.TextAI.file().Text << '|'
        << state.TextScore.file().Text
        << "|edited " << state.editedBotNames().size() << '\n';
    for (std::size_t i = 0; i < state.botCount(); ++i) spans(state.botLine(i)) << state.botName(i) << '\n';
    for (Setting s : AllSettings) {
        for (const auto& l : state.settingLines(s)) spans(l.Line, l.Value);
        out << "saved " << state.savedSetting(s) << " shown " << state.setting(s) << '\n';
    }
    for (const ScoreEntry& e : state.ListScores())
        spans(e.Value) << e.Index << ' ' << state.ScoreValues[e.Index] << ' ' << e.Text << '\n';
    return out.str();
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
    const bool finalEnd = *rc::gen::arbitrary<bool>();
    File bots = *fileOf(botLine(), finalEnd), server = *fileOf(settingLine(), finalEnd),
         ai = *fileOf(settingLine(), finalEnd), scores = *fileOf(scoreLine(), finalEnd);
    // Constants count only after the header's end.
    scores.insert(scores.begin(), {-1, "from qmr import *", "", "", "\r\n"});
    for (const Line& l : *rc::gen::container<File>(otherLine()))
        scores.insert(scores.begin(), {-1, l.head, "", "", "\r\n"});
    TempMod mod;
    mod.writeAll(join(bots), join(server), join(ai), join(scores));
    EditorState state = mod.load();

    // Bot names: a random subset renamed.
    std::vector<std::string> expectedNames;
    std::size_t bot = 0;
    for (Line& l : bots) {
        if (l.key != 0) continue;
        std::string name = state.botName(bot);
        if (*rc::gen::arbitrary<bool>()) {
            auto [typed, stored] = *newBotName();
            RC_ASSERT(state.setBotName(bot, typed) == NameProblem::None);
            name = typed;
            l.value = stored;
        }
        expectedNames.push_back(name);
        ++bot;
    }
    RC_ASSERT(bot == state.botCount());

    // Settings: each may get a new value, on every line of it or on a line appended.
    std::array<int, SettingCount> values{};
    for (Setting s : AllSettings) {
        const SettingInfo& info = settingInfo(s);
        const int key = static_cast<int>(s);
        int v = *rc::gen::oneOf(rc::gen::just(state.setting(s)), rc::gen::inRange(info.minimum, info.maximum + 1));
        values[static_cast<std::size_t>(s)] = v;
        if (v == state.setting(s)) continue;
        state.setSetting(s, v);
        File& file = info.file == ModFile::ServerSettings ? server : ai;
        bool found = false;
        for (Line& l : file) {
            if (l.key != key) continue;
            if (l.head.size() == info.command.size()) l.head += " ";
            l.value = settingValueText(s, v);
            found = true;
        }
        if (found) continue;
        const std::string text = join(file);  // a line end of its own where the last line has none
        if (!text.empty() && text.back() != '\n' && text.back() != '\r') file.back().end = "\r\n";
        file.push_back({key, std::string(info.command) + " ", settingValueText(s, v), "", "\r\n"});
    }

    // Scoring constants: Python keeps the last assignment of each name; some get new values.
    std::map<std::size_t, Line*> lastOf;
    for (Line& l : scores)
        if (l.key >= 0) lastOf[static_cast<std::size_t>(l.key)] = &l;
    RC_ASSERT(state.ListScores().size() == lastOf.size());
    std::map<std::size_t, std::int64_t> expectedValues;
    for (std::size_t e = 0; e < state.ListScores().size(); ++e) {
        const std::size_t index = state.ListScores()[e].Index;
        RC_ASSERT(lastOf.count(index) == 1u);
        expectedValues[index] = state.ScoreValues[index];
        if (!*rc::gen::arbitrary<bool>()) continue;
        const std::int64_t v = *rc::gen::inRange<std::int64_t>(-1000, 1000);
        state.setScoreValue(e, v);
        // A NUL in a comment makes the file one Python refuses: nothing in it is edited.
        if (state.ListScores()[e].Editable) expectedValues[index] = v;
        if (state.ListScores()[e].Edited) lastOf[index]->value = std::to_string(v);
    }

    RC_ASSERT(SaveModSettings(state, {}).done());
    RC_ASSERT(mod.read(ModFile::BotNames) == join(bots));
    RC_ASSERT(mod.read(ModFile::ServerSettings) == join(server));
    RC_ASSERT(mod.read(ModFile::AIDefaults) == join(ai));
    RC_ASSERT(mod.read(ModFile::Scoring) == join(scores));

    EditorState fresh = mod.load();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < fresh.botCount(); ++i) names.push_back(fresh.botName(i));
    RC_ASSERT(names == expectedNames);
    for (Setting s : AllSettings) RC_ASSERT(fresh.setting(s) == values[static_cast<std::size_t>(s)]);
    for (const auto& [index, value] : expectedValues) RC_ASSERT(fresh.ScoreValues[index] == value);
    RC_ASSERT(kept(state) == kept(fresh));
}

}  // namespace
