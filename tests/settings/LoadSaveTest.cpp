#include "EditorState.h"
#include "FileAccess.h"
#include "ModFiles.h"
#include "ModLoader.h"
#include "ModWriter.h"
#include "TempMod.h"
#include "TextLines.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <iconv.h>
#endif

#include <limits>
#include <thread>
#include <vector>

using namespace tarsun;
using namespace tarsun::testing;
namespace fs = std::filesystem;

namespace {

const char* const minimalScoring = "from qmr import *\r\nSCORE_KILL = 2\r\n";

// Each file missing, or a folder or a device where it should be.
TEST(Loader, AnyMissingFileLoadsNothing) {
    for (ModFile missing : AllModFiles) {
        TempMod mod;
        mod.writeAll("aiSettings.addBotName A\r\n", "", "", minimalScoring);
        std::filesystem::remove(mod.path(missing));
        if (missing == ModFile::BotNames) std::filesystem::create_directory(mod.path(missing));
#ifndef _WIN32
        if (missing == ModFile::ServerSettings) std::filesystem::create_symlink("/dev/zero", mod.path(missing));
#endif

        EditorState state(CodePage::windows1252());
        state.ModFolder = mod.folder();
        LoadResult result = LoadModSettings(state);
        ASSERT_EQ(result.problems.size(), 1u);
        EXPECT_EQ(result.problems[0].file, missing);
#ifndef _WIN32
        const bool device = missing == ModFile::ServerSettings;
#else
        const bool device = false;
#endif
        EXPECT_EQ(result.problems[0].reason, device ? "it is not an ordinary file" : "the file is missing");
        EXPECT_EQ(state.botCount(), 0u);
        EXPECT_TRUE(state.ListScores().empty());
        EXPECT_TRUE(state.TextFF.file().Text.empty() && state.TextFF.file().Path.empty());
    }
#ifdef _WIN32
    // No device can stand at a mod file's path here; the system gives one for this name.
    Expected<FileBytes> nul = readModFile("NUL");
    ASSERT_FALSE(nul);
    EXPECT_EQ(nul.reason(), "it is not an ordinary file");
#endif
}

// The files in any letter case, saved to as found; each setting shows its last line's value,
// within its range.
TEST(Loader, FindsFilesInAnyLetterCaseAndShowsTheLastLinesValueWithinRange) {
    TempMod mod;
    writeBytes(mod.folder() / "ai" / "botnames.ai", "aiSettings.addBotName Alpha\r\n");
    writeBytes(mod.folder() / "SETTINGS" / "serversettings.con",
               "sv.soldierFriendlyFire 35\nsv.soldierFriendlyFire 60\n"  // the last line counts
               "sv.soldierFriendlyFireScale 2\n"                         // another command
               "SV.vehicleFriendlyFire 10\n"                             // other letter case
               "sv.soldierSplashFriendlyFire 150\n"                      // clamped to 100
               "sv.vehicleSplashFriendlyFire\tabc\n");                   // no number: fallback
    writeBytes(mod.folder() / "ai" / "aidefault.ai", "aiSettings.setMaxNBots 0\naiSettings.setBotSkill 0.355\n");
    writeBytes(mod.folder() / "Python" / "Game" / "ScoringCommon.py", minimalScoring);
    EditorState state = mod.load();
    ASSERT_EQ(state.botCount(), 1u);
    EXPECT_EQ(state.botName(0), "Alpha");
    EXPECT_EQ(state.setting(Setting::SoldierFF), 60);
    EXPECT_EQ(state.setting(Setting::VehicleFF), 100);
    EXPECT_EQ(state.setting(Setting::SoldierSplashFF), 100);
    EXPECT_EQ(state.setting(Setting::VehicleSplashFF), 100);
    EXPECT_EQ(state.setting(Setting::MaxBots), 1);
    EXPECT_EQ(state.setting(Setting::BotSkill), 36);
    // What the controls cannot show, their tips tell.
    EXPECT_EQ(state.settingNote(Setting::SoldierFF), "");
    EXPECT_NE(state.settingNote(Setting::VehicleFF).find("no line"), std::string::npos);
    EXPECT_NE(state.settingNote(Setting::SoldierSplashFF).find("\"150\""), std::string::npos);
    EXPECT_NE(state.settingNote(Setting::VehicleSplashFF).find("\"abc\", which is not a number"), std::string::npos);
    EXPECT_NE(state.settingNote(Setting::BotSkill).find("\"0.355\", shown rounded"), std::string::npos);

    state.setBotName(0, "Bravo");
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(readBytes(mod.folder() / "ai" / "botnames.ai"), "aiSettings.addBotName Bravo\r\n");
    // Saved to the file as found, with no file added (where the file system ignores case,
    // the exact name finds it too).
    EXPECT_EQ(filesIn(mod.folder()), 4u);
    EXPECT_EQ(state.setSetting(Setting::MaxBots, 999), 256);
}

// Real mods' scoring files often import the game's modules and no header: the whole
// module then holds the constants.
TEST(Loader, ScoringFileWithoutAHeaderHoldsItsConstantsInTheWholeModule) {
    TempMod mod;
    const std::string before = "import host\r\nimport bf2\r\n\r\nSCORE_KILL = 2\r\nSCORE_TEAMKILL = -4\r\n";
    const std::string after = "\r\ndef init():\r\n    print \"scoring common init\"\r\n    SCORE_KILL = 3\r\n";
    mod.writeAll("", "", "", before + after);
    EditorState state = mod.load();
    ASSERT_EQ(state.ListScores().size(), 2u);
    EXPECT_TRUE(state.TextScore.TextScoreA().empty());
    EXPECT_EQ(state.ScoreValues[0], 2);
    EXPECT_EQ(state.ScoreValues[1], -4);
    ASSERT_TRUE(state.ListScores()[0].Editable) << state.ListScores()[0].NotEditableReason;
    state.setScoreValue(0, 12);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(mod.read(ModFile::Scoring), "import host\r\nimport bf2\r\n\r\nSCORE_KILL = 12\r\nSCORE_TEAMKILL = -4\r\n" + after);
}

TEST(Writer, FilesThatCannotBeReplacedAreReportedAndKeptWholeAndTheirEditsKept) {
    TempMod mod;
    mod.writeAll("aiSettings.addBotName Alpha\r\n", "sv.soldierFriendlyFire 75\r\n", "",
                 "from qmr import *\r\nSCORE_KILL = 2   # points\r\n");
    EditorState state = mod.load();
    state.setBotName(0, "Retry");
    state.setSetting(Setting::SoldierFF, 1);
    state.setScoreValue(0, 5);
    for (ModFile f : {ModFile::BotNames, ModFile::ServerSettings}) setReadOnly(mod.path(f), true);

    SaveResult result = SaveModSettings(state, {});
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(result.failures[0].file, ModFile::BotNames);
    EXPECT_EQ(result.failures[1].file, ModFile::ServerSettings);
    EXPECT_EQ(result.failures[1].reason, "the file is read-only");
    EXPECT_EQ(mod.read(ModFile::BotNames), "aiSettings.addBotName Alpha\r\n");
    EXPECT_EQ(mod.read(ModFile::ServerSettings), "sv.soldierFriendlyFire 75\r\n");
    EXPECT_EQ(mod.read(ModFile::Scoring), "from qmr import *\r\nSCORE_KILL = 5   # points\r\n");
    EXPECT_EQ(filesIn(mod.folder()), 4u);  // no temporary file left behind

    // Once the files can be written, the kept edits go out with the next save.
    for (ModFile f : {ModFile::BotNames, ModFile::ServerSettings}) setReadOnly(mod.path(f), false);
    unsigned access = accessOf(mod.path(ModFile::ServerSettings));
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(mod.read(ModFile::BotNames), "aiSettings.addBotName Retry\r\n");
    EXPECT_EQ(mod.read(ModFile::ServerSettings), "sv.soldierFriendlyFire 1\r\n");
    EXPECT_EQ(accessOf(mod.path(ModFile::ServerSettings)), access);
}

TEST(Writer, AModDeeperThanTheOldPathLimitLoadsAndSaves) {
    TempMod mod;
    fs::path deep = mod.folder() / std::string(90, 'a') / std::string(90, 'b') / std::string(90, 'c');
#ifdef _WIN32
    // The tests' own file calls need the long form; the editor is given the plain path.
    const fs::path made = L"\\\\?\\" + fs::absolute(deep).wstring();
#else
    const fs::path made = deep;
#endif
    for (ModFile f : AllModFiles) {
        fs::path p = made;
        for (auto part : modFileComponents(f)) p /= std::string(part);
        writeBytes(p, f == ModFile::ServerSettings ? "sv.soldierFriendlyFire 75\r\n" : "");
    }
    EditorState state(CodePage::windows1252());
    state.ModFolder = deep;
    ASSERT_TRUE(LoadModSettings(state).loaded());
    state.setSetting(Setting::SoldierFF, 5);
    SaveResult saved = SaveModSettings(state, {});
    ASSERT_TRUE(saved.done()) << (saved.failures.empty() ? "a file is missing" : saved.failures[0].reason);
    EXPECT_EQ(readBytes(made / "Settings" / "ServerSettings.CON"), "sv.soldierFriendlyFire 5\r\n");
}

#ifdef _WIN32
// A game or a virus scanner reading the file: others may read it too, but not replace it.
TEST(Writer, AFileAnotherProgramHoldsOpenIsReplacedOnceItLetsGo) {
    TempMod mod;
    mod.writeAll("", "sv.soldierFriendlyFire 75\r\n", "", "");
    EditorState state = mod.load();
    state.setSetting(Setting::SoldierFF, 5);
    const std::string before = mod.read(ModFile::ServerSettings);
    auto hold = [&] {
        HANDLE h = CreateFileW(mod.path(ModFile::ServerSettings).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        return h;
    };
    HANDLE held = hold();
    SaveResult refused = SaveModSettings(state, {});
    CloseHandle(held);
    ASSERT_EQ(refused.failures.size(), 1u);
    EXPECT_FALSE(refused.failures[0].reason.empty());
    EXPECT_EQ(mod.read(ModFile::ServerSettings), before);
    EXPECT_EQ(filesIn(mod.folder() / "Settings"), 1u);

    // Let go while the save still retries.
    held = hold();
    std::thread letGo([held] {
        Sleep(120);
        CloseHandle(held);
    });
    SaveResult saved = SaveModSettings(state, {});
    letGo.join();
    ASSERT_TRUE(saved.done()) << (saved.failures.empty() ? "a file is missing" : saved.failures[0].reason);
    EXPECT_EQ(mod.read(ModFile::ServerSettings), "sv.soldierFriendlyFire 5\r\n");
}
#endif

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
