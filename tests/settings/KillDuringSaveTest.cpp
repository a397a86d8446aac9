// Saves under fire, hundreds of times: killed at a random moment, the mod's file is always
// the old one or the new one, whole, and whatever the killed save left behind is gone after
// the next load; and another process's saves during them are never lost.

#include "ModFiles.h"
#include "ModWriter.h"
#include "TempMod.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace tarsun;
using namespace tarsun::testing;
namespace fs = std::filesystem;

namespace {

#ifndef _WIN32

TEST(KillDuringSave, TheFileIsAlwaysWholeAndNothingIsLeftBehind) {
    TempMod mod;
    std::string old;
    for (int i = 0; i < 4000; ++i) old += "aiSettings.addBotName Bot" + std::to_string(i) + "\r\n";
    std::string renamed = old;
    renamed.replace(old.find("Bot2000\r"), 7, "Renamed");
    mod.writeAll(old, "", "", "");
    const fs::path bots = mod.path(ModFile::BotNames);

    // A child loads the mod, renames one bot and saves; the parent kills it part-way.
    auto saveInChild = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            EditorState state = mod.load();
            state.setBotName(2000, "Renamed");
            _exit(SaveModSettings(state, {false, false, false, true}).done() ? 0 : 3);
        }
        return pid;
    };
    // How long one whole save takes here, so that the kills spread over all of it.
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(saveInChild(), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(mod.read(ModFile::BotNames), renamed);
    const double saveMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    const int kills = std::getenv("TARSUN_KILLS") ? std::atoi(std::getenv("TARSUN_KILLS")) : 400;
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> moment(0, saveMs * 1.2);
    int asOld = 0, asNew = 0, leftAfterKill = 0, leftAfterLoad = 0;
    for (int i = 0; i < kills; ++i) {
        writeBytes(bots, old);
        pid_t pid = saveInChild();
        usleep(static_cast<useconds_t>(moment(random) * 1000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const std::string now = readBytes(bots);
        asOld += now == old;
        asNew += now == renamed;
        leftAfterKill += !temporariesBeside(bots).empty();
        mod.load();
        leftAfterLoad += static_cast<int>(temporariesBeside(bots).size());
    }
    std::printf("%d kills in a %.1f ms save: %d old, %d new, %d other; %d left a temporary file\n", kills, saveMs,
                asOld, asNew, kills - asOld - asNew, leftAfterKill);
    EXPECT_EQ(asOld + asNew, kills);
    EXPECT_EQ(leftAfterLoad, 0);
}

// Another process saving the way most programs do (write a new file, rename it over the
// name) a few times while the editor saves, round after round: its last save is never lost,
// whatever becomes of the editor's.
TEST(RenameRace, AnotherProgramsSavesAreNeverLost) {
    TempMod mod;
    const std::string base = "sv.serverName x\r\nsv.soldierFriendlyFire 75\r\nsv.maxPlayers 16\r\n";
    mod.writeAll("", base, "", "");
    const fs::path server = mod.path(ModFile::ServerSettings);
    auto save = [&] {
        EditorState state = mod.load();
        state.setSetting(Setting::SoldierFF, 50);
        return SaveModSettings(state, {true, false, false, false});
    };
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(save().done());
    const double saveUs = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();

    const int rounds = std::getenv("TARSUN_RACE_ROUNDS") ? std::atoi(std::getenv("TARSUN_RACE_ROUNDS")) : 600;
    const int savesPerRound = 4;
    std::mt19937 random(4242);
    std::uniform_real_distribution<double> moment(0, saveUs * 1.5 / savesPerRound);
    int merged = 0, kept = 0, refused = 0, lost = 0, leftovers = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    int round = 0;
    for (; round < rounds && std::chrono::steady_clock::now() < deadline; ++round) {
        writeBytes(server, base);
        std::vector<useconds_t> pauses;
        for (int j = 0; j < savesPerRound; ++j) pauses.push_back(static_cast<useconds_t>(moment(random)));
        const pid_t other = fork();
        if (other == 0) {
            for (int j = 0; j < savesPerRound; ++j) {
                usleep(pauses[static_cast<std::size_t>(j)]);
                writeBytes(server.string() + ".new", base + "sv.other" + std::to_string(j) + " 1\r\n");
                fs::rename(server.string() + ".new", server);
            }
            _exit(0);
        }
        const SaveResult result = save();
        waitpid(other, nullptr, 0);
        const std::string now = readBytes(server);
        const bool all = now.find("sv.other" + std::to_string(savesPerRound - 1) + " 1\r\n") != std::string::npos;
        lost += !all;
        merged += all && now.find("sv.soldierFriendlyFire 50\r\n") != std::string::npos;
        kept += all && result.done() && now.find("sv.soldierFriendlyFire 75\r\n") != std::string::npos;
        refused += all && !result.done();
        mod.load();
        leftovers += static_cast<int>(temporariesBeside(server).size());
    }
    std::printf("%d rounds of %d rename-saves during a %.0f us save: %d merged, %d kept (saved over later), "
                "%d refused, %d lost; %d temporary files left\n",
                round, savesPerRound, saveUs, merged, kept, refused, lost, leftovers);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(leftovers, 0);
}

#endif

}  // namespace
