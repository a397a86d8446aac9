#include "ModFiles.h"
#include "ModWriter.h"
#include "TempMod.h"

#include <gtest/gtest.h>

using namespace tarsun;
using namespace tarsun::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> allFiles(const TempMod& mod) {
    std::vector<std::string> out;
    for (ModFile f : AllModFiles)
        out.push_back(mod.read(f));
    return out;
}

std::size_t filesIn(const fs::path& folder) {
    std::size_t n = 0;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it)
        n += it->is_regular_file();
    return n;
}

TEST(Writer, AnEditChangesOnlyItsValueAndKeepsLineEnds) {
    TempMod mod;
    mod.writeAll(
        "aiSettings.addBotName Alpha\raiSettings.addBotName Bravo\naiSettings.addBotName Charlie",
        "rem x\nsv.soldierFriendlyFire 35 # was\r\nsv.vehicleFriendlyFire 50\r\nsv.soldierFriendlyFire 40\r",
        "aiSettings.setBotSkill 0.5\naiSettings.setMaxNBots 16",
        "from qmr import *\r\nSCORE_KILL   =  2   # keep me\r\nSCORE_TEAMKILL = 1.5\r\n");
    EditorState state = mod.load();
    ASSERT_EQ(state.setBotName(1, "B\xC3\xA4r"), NameProblem::None);
    state.setSetting(Setting::SoldierFF, 7);
    state.setSetting(Setting::BotSkill, 7);
    state.setScoreValue(0, -12);
    EXPECT_EQ(state.ListScores[0].Text, "SCORE_KILL   =  -12   # keep me");
    ASSERT_TRUE(SaveModSettings(state, {}).done());

    EXPECT_EQ(mod.read(ModFile::BotNames),
              "aiSettings.addBotName Alpha\raiSettings.addBotName B\xE4r\naiSettings.addBotName Charlie");
    EXPECT_EQ(
        mod.read(ModFile::ServerSettings),
        "rem x\nsv.soldierFriendlyFire 7 # was\r\nsv.vehicleFriendlyFire 50\r\nsv.soldierFriendlyFire 7\r");
    EXPECT_EQ(mod.read(ModFile::AIDefaults), "aiSettings.setBotSkill 0.07\naiSettings.setMaxNBots 16");
    // The unedited 1.5 stays as written.
    EXPECT_EQ(mod.read(ModFile::Scoring),
              "from qmr import *\r\nSCORE_KILL   =  -12   # keep me\r\nSCORE_TEAMKILL = 1.5\r\n");
}

TEST(Writer, AMissingSettingLineIsAppended) {
    TempMod mod;
    mod.writeAll("", "sv.serverName x", "", "");
    EditorState state = mod.load();
    state.setSetting(Setting::VehicleFF, 20);
    state.setSetting(Setting::MaxBots, 32);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_EQ(mod.read(ModFile::ServerSettings), "sv.serverName x\r\nsv.vehicleFriendlyFire 20\r\n");
    EXPECT_EQ(mod.read(ModFile::AIDefaults), "aiSettings.setMaxNBots 32\r\n");
}

TEST(Writer, OnlyTickedGroupsAreWritten) {
    TempMod mod;
    mod.copyFrom(sampleMod("TarsunSample"));
    auto before = allFiles(mod);
    EditorState state = mod.load();
    state.setBotName(0, "Changed");
    state.setSetting(Setting::SoldierFF, 1);
    state.setSetting(Setting::MaxBots, 2);
    state.setScoreValue(0, 3);
    ASSERT_TRUE(SaveModSettings(state, {false, false, false, true}).done());
    auto after = allFiles(mod);
    EXPECT_NE(after[0], before[0]);
    EXPECT_EQ(std::vector(after.begin() + 1, after.end()), std::vector(before.begin() + 1, before.end()));
    EXPECT_EQ(state.botName(0), "Changed"); // the unticked edits are kept for a later save
    EXPECT_EQ(state.setting(Setting::SoldierFF), 1);
}

TEST(Writer, AMissingFileStopsTheWholeSave) {
    TempMod mod;
    mod.copyFrom(sampleMod("TarsunSample"));
    EditorState state = mod.load();
    state.setScoreValue(0, 5);
    fs::remove(mod.path(ModFile::BotNames));
    auto before = mod.read(ModFile::Scoring);
    SaveResult result = SaveModSettings(state, {false, true, false, false});
    EXPECT_TRUE(result.missingFile);
    EXPECT_FALSE(result.done());
    EXPECT_EQ(mod.read(ModFile::Scoring), before);
}

TEST(Writer, AFileThatCannotBeReplacedIsReportedAndKeptWhole) {
    TempMod mod;
    mod.copyFrom(sampleMod("TarsunSample"));
    EditorState state = mod.load();
    state.setSetting(Setting::SoldierFF, 1);
    state.setScoreValue(0, 5);
    auto serverBefore = mod.read(ModFile::ServerSettings);
    makeReadOnly(mod.path(ModFile::ServerSettings));

    SaveResult result = SaveModSettings(state, {});
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].file, ModFile::ServerSettings);
    EXPECT_EQ(result.failures[0].reason, "the file is read-only");
    EXPECT_EQ(mod.read(ModFile::ServerSettings), serverBefore);
    EXPECT_NE(mod.read(ModFile::Scoring).find("SCORE_KILL = 5   # points"), std::string::npos);
    EXPECT_EQ(filesIn(mod.folder()), 4u); // no temporary file left behind

    // Once the file can be written, the kept edit goes out with the next save.
    makeWritable(mod.path(ModFile::ServerSettings));
    unsigned access = accessOf(mod.path(ModFile::ServerSettings));
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_NE(mod.read(ModFile::ServerSettings).find("sv.soldierFriendlyFire 1\r\n"), std::string::npos);
    EXPECT_EQ(accessOf(mod.path(ModFile::ServerSettings)), access);
}

TEST(Writer, AFailedReplacementKeepsTheEditForTheNextSave) {
    TempMod mod;
    mod.copyFrom(sampleMod("TarsunSample"));
    EditorState state = mod.load();
    state.setBotName(2, "Retry");
    auto failing = [](const ReplaceRequest&) {
        return ReplaceResult{ReplaceResult::Failed, "no space left on the disk", {}, {}};
    };
    SaveResult result = SaveModSettings(state, {}, failing);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].reason, "no space left on the disk");
    EXPECT_EQ(state.botName(2), "Retry");
    EXPECT_EQ(state.editedBotNames().size(), 1u);
    ASSERT_TRUE(SaveModSettings(state, {}).done());
    EXPECT_NE(mod.read(ModFile::BotNames).find("aiSettings.addBotName Retry\r\n"), std::string::npos);
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
        for (auto part : modFileComponents(f))
            p /= std::string(part);
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

} // namespace
