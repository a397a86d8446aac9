// A save killed at a random moment, hundreds of times: the mod's file is always the old one
// or the new one, whole, and whatever the killed save left behind is gone after the next load.

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
    int asOld = 0, asNew = 0, other = 0, leftAfterKill = 0, leftAfterLoad = 0;
    for (int i = 0; i < kills; ++i) {
        writeBytes(bots, old);
        pid_t pid = saveInChild();
        usleep(static_cast<useconds_t>(moment(random) * 1000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const std::string now = readBytes(bots);
        asOld += now == old;
        asNew += now == renamed;
        other += now != old && now != renamed;
        leftAfterKill += !temporariesBeside(bots).empty();
        mod.load();
        leftAfterLoad += static_cast<int>(temporariesBeside(bots).size());
    }
    std::printf("%d kills in a %.1f ms save: %d old, %d new, %d other; %d left a temporary file\n", kills, saveMs,
                asOld, asNew, other, leftAfterKill);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(leftAfterLoad, 0);
}

#endif

}  // namespace
