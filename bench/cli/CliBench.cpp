// One setting set across a server's 1,000 mods by tarsun-cli's set command, in one run,
// with each save kept in the history for undo, set beside the least any tool must do for
// it: read the same files whole and replace them through a temporary file, flushed, and a
// rename. Both work on copies of the mods made and left to settle before the run, as a
// server's mods are. The set again on mods set once before, whose history logs are there
// already, as for an admin's weekly change. Then every value of the 1,000 mods read by
// show --mods --json.

#include "CliTool.h"
#include "ModFiles.h"

#include "BenchMods.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

using namespace tarsun;
using namespace tarsun::bench;

namespace {

constexpr int ModCount = 1000;
constexpr int Repetitions = 5;
constexpr double MaxRatio = 1.5;
constexpr double MaxShowMs = 2000;
constexpr auto SettleTime = std::chrono::milliseconds(2100);

// A game folder per round, each with its own copies of the mods; each repetition takes
// the next round's.
struct Rounds {
    std::vector<fs::path> games;
    std::size_t next = 0;
    Rounds(const fs::path& root, const std::string& label) {
        for (int g = 0; g < Repetitions; ++g) games.push_back(root / (label + std::to_string(g)));
    }
    const fs::path& take() { return games.at(next++); }
};

void cliSet(benchmark::State& st, Rounds& rounds, bool& failed) {
    for (auto _ : st) {
        std::ostringstream out, err;
        const int status =
            runTool({"tarsun-cli", "set", "--mods", rounds.take().string(), "sv.soldierFriendlyFire=40"}, out, err);
        if (status != 0 || err.str().find(std::to_string(ModCount) + " mods: " + std::to_string(ModCount) +
                                          " written") == std::string::npos) {
            failed = true;
            st.SkipWithError(("the set failed: " + err.str()).c_str());
            break;
        }
    }
}

void cliShow(benchmark::State& st, const fs::path& game, bool& failed) {
    for (auto _ : st) {
        std::ostringstream out, err;
        const int status = runTool({"tarsun-cli", "show", "--mods", game.string(), "--json"}, out, err);
        const std::string text = out.str();
        if (status != 0 || std::count(text.begin(), text.end(), '\n') != ModCount) {
            failed = true;
            st.SkipWithError(("the show failed: " + err.str()).c_str());
            break;
        }
    }
}

void readReplace(benchmark::State& st, Rounds& rounds, bool& failed) {
    for (auto _ : st) {
        const fs::path mods = rounds.take() / "mods";
        for (int m = 0; m < ModCount; ++m) {
            const fs::path path = FolderListings().findModFile(mods / ("mod" + padded(m, 4)), ModFile::ServerSettings);
            std::optional<std::string> content = readAll(path);
            if (!content || !replaceFileText(path, *content)) {
                failed = true;
                st.SkipWithError("a file could not be read or replaced");
                return;
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!initBenchmark(argc, argv, Repetitions)) return 1;

    try {
        ScratchFolder scratch;
        const fs::path mod = scratch.path() / "typical";
        makeMod(mod, 700, 600);
        Rounds roundsA(scratch.path(), "a"), roundsB(scratch.path(), "b"), roundsAgain(scratch.path(), "again");
        for (const Rounds* rounds : {&roundsA, &roundsB, &roundsAgain})
            for (const fs::path& game : rounds->games)
                for (int m = 0; m < ModCount; ++m) {
                    const fs::path copy = game / "mods" / ("mod" + padded(m, 4));
                    fs::create_directories(copy);
                    fs::copy(mod, copy, fs::copy_options::recursive);
                }
        // The history is on, as for a user: kept in the scratch folder.
        ::setenv("TARSUN_HISTORY_DIR", (scratch.path() / "history").c_str(), 1);
        for (const fs::path& game : roundsAgain.games) {
            std::ostringstream out, err;
            if (runTool({"tarsun-cli", "set", "--quiet", "--mods", game.string(), "sv.soldierFriendlyFire=30"}, out,
                        err) != 0)
                throw std::runtime_error("the first set failed: " + err.str());
        }
        ::sync();
        std::this_thread::sleep_for(SettleTime);
        std::printf("%d typical mods per round generated in %s\n", ModCount, scratch.path().string().c_str());

        bool failedA = false, failedB = false, failedC = false, failedAgain = false;
        benchmark::RegisterBenchmark("cli_set_1000_mods", cliSet, std::ref(roundsA), std::ref(failedA))
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("cli_set_again_1000_mods", cliSet, std::ref(roundsAgain), std::ref(failedAgain))
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("read_replace_1000_files", readReplace, std::ref(roundsB), std::ref(failedB))
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("cli_show_json_1000_mods", cliShow, roundsB.games.front(), std::ref(failedC))
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        CollectingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();

        const auto a = reporter.timing("cli_set_1000_mods"), b = reporter.timing("read_replace_1000_files"),
                   c = reporter.timing("cli_show_json_1000_mods"), again = reporter.timing("cli_set_again_1000_mods");
        if (failedA || failedB || failedC || failedAgain || !a || !b || !c || !again) {
            std::printf("FAILED: a benchmark did not run to its end\n");
            return 1;
        }
        const double ratio = a->realMs / b->realMs;
        const bool met = ratio <= MaxRatio && c->realMs <= MaxShowMs;
        std::printf(
            "\nA: tarsun-cli set --mods, one setting in %d typical mods, history on: %.0f ms (CPU %.0f ms)\n"
            "B: read and replace the same %d files: %.0f ms (CPU %.0f ms)\n"
            "A/B: %.2f (target at most %.1f): %s\n"
            "A again: the same set on mods set once before: %.0f ms (CPU %.0f ms), %.2f times B\n"
            "C: tarsun-cli show --mods --json, %d typical mods: %.0f ms (CPU %.0f ms; target at most %.0f ms): %s\n",
            ModCount, a->realMs, a->cpuMs, ModCount, b->realMs, b->cpuMs, ratio, MaxRatio,
            ratio <= MaxRatio ? "met" : "MISSED", again->realMs, again->cpuMs, again->realMs / b->realMs, ModCount,
            c->realMs, c->cpuMs, MaxShowMs, c->realMs <= MaxShowMs ? "met" : "MISSED");
        return met ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cli: %s\n", e.what());
        return 2;
    }
}
