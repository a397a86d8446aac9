#include "ModFiles.h"
#include "ModLoader.h"
#include "ModWriter.h"
#include "TempMod.h"

#include <gtest/gtest.h>

using namespace tarsun;
using namespace tarsun::testing;

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
        if (missing == ModFile::ServerSettings) {
            EXPECT_EQ(result.problems[0].reason, "it is not an ordinary file");
        }
#endif
        EXPECT_EQ(state.botCount(), 0u);
        EXPECT_TRUE(state.ListScores().empty());
        EXPECT_TRUE(state.TextFF.file().Text.empty() && state.TextFF.file().Path.empty());
    }
#ifdef _WIN32
    // No device can stand at a mod file's path here; the system gives one for this name.
    std::string reason;
    EXPECT_FALSE(readModFile("NUL", &reason));
    EXPECT_EQ(reason, "it is not an ordinary file");
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
    EXPECT_EQ(state.settingLines(Setting::SoldierFF).size(), 2u);
    EXPECT_TRUE(state.settingLines(Setting::VehicleFF).empty());
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

TEST(Loader, ScoringFileWithoutItsHeaderIsAllHeader) {
    TempMod mod;
    mod.writeAll("", "", "", "SCORE_KILL = 2\r\nSCORE_TEAMKILL = -4\r\n");
    EditorState state = mod.load();
    EXPECT_TRUE(state.ListScores().empty());
    EXPECT_EQ(state.TextScore.TextScoreA(), "SCORE_KILL = 2\r\nSCORE_TEAMKILL = -4\r\n");
}

}  // namespace
