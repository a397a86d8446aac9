#include "ModFiles.h"
#include "ModWriter.h"
#include "TempMod.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tarsun;
using namespace tarsun::testing;
namespace fs = std::filesystem;

namespace {

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

}  // namespace
