// What a whole load, edit and save of a mod costs, set beside the least any editor must
// do with the same files: read them whole and replace them with the same
// temporary-file-and-rename protocol. A summary table after the run gives the ratio of
// the two for each mod size and whether the targets were met.
//
// The mods are generated in a fresh folder below the system's temporary folder (TMPDIR
// chooses it), so the figures include that file system's fsync.

#include "EditorState.h"
#include "ModFiles.h"
#include "ModLoader.h"
#include "ModWriter.h"

#include "BenchMods.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace tarsun;
using namespace tarsun::bench;

namespace {

constexpr std::size_t MiB = std::size_t{1} << 20;
constexpr double MaxRatioAtLargest = 1.2;
constexpr double MaxCpuRatioAtLargest = 1.5;
constexpr double MaxGrowth = 11.0;

struct ModSize {
    std::string label;
    std::size_t botBytes;     // size of the bot-name file
    std::size_t serverBytes;  // size of the server-settings file
    int rounds;               // per repetition of A
};

constexpr int Repetitions = 5;
// Long enough for every file system's clock to have moved on since the copies were made.
constexpr auto SettleTime = std::chrono::milliseconds(2100);

// ---- The two benchmarks --------------------------------------------------------------

// One edit in each group. Each value flips between two choices, so that whatever the
// previous iteration left in the files, every iteration has all four files to write.
void editEachGroup(EditorState& state) {
    std::size_t middle = state.botCount() / 2;
    state.setBotName(middle, state.botName(middle) == "Kestrel" ? "Harrier" : "Kestrel");
    state.setSetting(Setting::SoldierFF, state.setting(Setting::SoldierFF) == 40 ? 41 : 40);
    state.setSetting(Setting::BotSkill, state.setting(Setting::BotSkill) == 35 ? 36 : 35);
    const ScoreEntry& score = state.ListScores().at(0);
    state.setScoreValue(0, state.ScoreValues[score.Index] == 2 ? 3 : 2);
}

// Each round loads one of `mods` in turn: copies written before the run and left alone for
// longer than a file system's coarsest clock, as a mod is when a player opens it, so that
// the save can trust their stamps. With a single mod, each round loads what the round
// before saved a moment ago, and the save must compare the bytes.
// With `other`, another program changes the files between the load and the save (that time
// is not counted), and the save must carry the edits over to what it wrote.
struct OtherProgram {
    std::function<void(const fs::path& mod)> change;
    std::function<bool(const EditorState&)> kept;
};

void loadEditSave(benchmark::State& st, const std::vector<fs::path>& mods, std::uintmax_t bytes, bool& failed,
                  const OtherProgram* other) {
    int written = 0;
    FileReplacer countingReplace = [&](const ReplaceRequest& request) {
        ++written;
        return replaceModFile(request);
    };
    static std::map<const std::vector<fs::path>*, std::size_t> next;
    for (auto _ : st) {
        EditorState state;
        state.ModFolder = mods[next[&mods]++ % mods.size()];
        state.InitScoreNames();
        if (!LoadModSettings(state).loaded()) {
            failed = true;
            st.SkipWithError("the mod did not load");
            break;
        }
        editEachGroup(state);
        if (other) {
            st.PauseTiming();
            other->change(state.ModFolder);
            st.ResumeTiming();
        }
        written = 0;
        SaveResult saved = SaveModSettings(state, SaveGroups{true, true, true, true}, countingReplace);
        if (!saved.done() || written != 4 || (other && !other->kept(state))) {
            failed = true;
            st.SkipWithError("the save did not write all four files");
            break;
        }
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * bytes));
}

// B works on copies of the mod made and left to settle the same way as A's, since replacing
// a file the disk has long held costs the file system more than replacing one it wrote a
// moment ago.
void readReplaceBaseline(benchmark::State& st, const std::vector<fs::path>& mods, std::uintmax_t bytes, bool& failed) {
    static std::map<const std::vector<fs::path>*, std::size_t> next;
    for (auto _ : st) {
        const fs::path& mod = mods[next[&mods]++ % mods.size()];
        for (ModFile file : AllModFiles) {
            const fs::path path = FolderListings().findModFile(mod, file);
            std::optional<std::string> content = readAll(path);
            if (!content || !replaceFileText(path, *content)) {
                failed = true;
                st.SkipWithError("a file could not be read or replaced");
                break;
            }
        }
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * bytes));
}

// Changes both large files away from the edited lines: a map appended, the first bot renamed.
const OtherProgram ChangesBothLargeFiles{
    [](const fs::path& mod) {
        const fs::path server = FolderListings().findModFile(mod, ModFile::ServerSettings);
        const fs::path bots = FolderListings().findModFile(mod, ModFile::BotNames);
        std::string serverText = *readAll(server), botText = *readAll(bots);
        serverText += "mapList.append kestrel_ridge_added gpm_cq 64\r\n";
        botText.replace(botText.find("Name0000"), 8, "Renamed0");
        writeFile(server, serverText);
        writeFile(bots, botText);
    },
    [](const EditorState& state) { return state.botName(0) == "Renamed0"; }};

// ---- Summary -------------------------------------------------------------------------

std::string nameA(const ModSize& s) { return "load_edit_save/" + s.label; }
std::string nameFresh(const ModSize& s) { return "load_edit_save_just_written/" + s.label; }
std::string nameB(const ModSize& s) { return "read_replace_baseline/" + s.label; }
std::string nameMerge(const ModSize& s) { return "load_edit_save_changed_elsewhere/" + s.label; }

std::string sizeText(std::uintmax_t bytes) {
    char buffer[32];
    if (bytes < MiB) std::snprintf(buffer, sizeof buffer, "%.1f KiB", bytes / 1024.0);
    else std::snprintf(buffer, sizeof buffer, "%.1f MiB", static_cast<double>(bytes) / MiB);
    return buffer;
}

// Prints the table; false when a target was measured and missed or a benchmark failed.
bool printSummary(const CollectingReporter& reporter, const std::vector<ModSize>& sizes,
                  const std::vector<std::uintmax_t>& bytes, const std::set<std::string>& failures) {
    std::printf("\nA: load, one edit in each group, save of all four files (files older than a file\n"
                "   system's clock step, as when a player opens a mod: their stamps vouch for them).\n"
                "B: read the same four files whole and replace them the same way.\n"
                "A': A on files saved a moment before, whose bytes the save must compare.\n"
                "Median real time per round, and the CPU time within it:\n\n");
    std::printf("%-8s %10s %10s %10s %6s %10s %10s %6s %10s\n", "mod", "4 files", "A ms", "B ms", "A/B", "A cpu ms",
                "B cpu ms", "cpu", "A' ms");
    bool ok = failures.empty();
    auto column = [](std::optional<double> value, int width) {
        if (value) std::printf(" %*.2f", width, *value);
        else std::printf(" %*s", width, "-");
    };
    std::vector<std::optional<Timing>> a(sizes.size());
    std::optional<double> lastRatio, lastCpuRatio;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        a[i] = reporter.timing(nameA(sizes[i]));
        std::optional<Timing> b = reporter.timing(nameB(sizes[i]));
        std::optional<double> ratio;
        if (a[i] && b) ratio = a[i]->realMs / b->realMs;
        std::printf("%-8s %10s", sizes[i].label.c_str(), sizeText(bytes[i]).c_str());
        column(a[i] ? std::optional(a[i]->realMs) : std::nullopt, 10);
        column(b ? std::optional(b->realMs) : std::nullopt, 10);
        column(ratio, 6);
        column(a[i] ? std::optional(a[i]->cpuMs) : std::nullopt, 10);
        column(b ? std::optional(b->cpuMs) : std::nullopt, 10);
        column(a[i] && b ? std::optional(a[i]->cpuMs / b->cpuMs) : std::nullopt, 6);
        std::optional<Timing> fresh = reporter.timing(nameFresh(sizes[i]));
        column(fresh ? std::optional(fresh->realMs) : std::nullopt, 10);
        std::printf("\n");
        if (i + 1 == sizes.size() && a[i] && b) lastCpuRatio = a[i]->cpuMs / b->cpuMs;
        if (i + 1 == sizes.size()) lastRatio = ratio;
    }
    if (std::optional<Timing> merge = reporter.timing(nameMerge(sizes.back())))
        std::printf("\nA when another program changed both large files after the load, the edits carried over,\n"
                    "at %s: %.2f ms, CPU %.2f ms\n",
                    sizes.back().label.c_str(), merge->realMs, merge->cpuMs);
    for (const std::string& name : failures) std::printf("FAILED: %s\n", name.c_str());

    const ModSize& largest = sizes.back();
    const ModSize& smaller = sizes[sizes.size() - 2];
    if (lastRatio) {
        bool met = *lastRatio <= MaxRatioAtLargest;
        ok = ok && met;
        std::printf("\nA/B at %s: %.2f (target at most %.1f): %s\n", largest.label.c_str(), *lastRatio,
                    MaxRatioAtLargest, met ? "met" : "MISSED");
    }
    if (lastCpuRatio) {
        bool met = *lastCpuRatio <= MaxCpuRatioAtLargest;
        ok = ok && met;
        std::printf("A/B in CPU time at %s: %.2f (target at most %.1f): %s\n", largest.label.c_str(), *lastCpuRatio,
                    MaxCpuRatioAtLargest, met ? "met" : "MISSED");
    }
    if (a.back() && a[a.size() - 2]) {
        double growth = a.back()->realMs / a[a.size() - 2]->realMs;
        bool met = growth <= MaxGrowth;
        ok = ok && met;
        std::printf("A from %s to %s: %.2fx the time for %.2fx the bytes (target at most %.0fx): %s\n",
                    smaller.label.c_str(), largest.label.c_str(), growth,
                    static_cast<double>(bytes.back()) / static_cast<double>(bytes[bytes.size() - 2]), MaxGrowth,
                    met ? "met" : "MISSED");
    }
    return ok;
}

// Generates the mods below folder, runs the benchmarks and prints the summary; false when
// a target was missed or a benchmark failed.
bool run(const fs::path& folder, const std::vector<ModSize>& sizes) {
    std::vector<std::uintmax_t> bytes;
    std::map<std::string, bool> failed;  // by benchmark name
    static std::vector<std::vector<fs::path>> copies(sizes.size()), copiesB(sizes.size()), single(sizes.size());
    static std::vector<fs::path> copiesMerge;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const ModSize& size = sizes[i];
        fs::path mod = folder / "mods" / size.label;
        bytes.push_back(makeMod(mod, size.botBytes, size.serverBytes));
        single[i] = {mod};
        for (int c = 0; c < size.rounds * (Repetitions + 1); ++c) {
            for (auto* set : {&copies[i], &copiesB[i]}) {
                set->push_back(folder / "copies" / (size.label + (set == &copies[i] ? "-a" : "-b") + std::to_string(c)));
                fs::create_directories(set->back());
                fs::copy(mod, set->back(), fs::copy_options::recursive);
            }
        }
        // Files another program rewrites have new stamps anyway: these copies need no settling.
        for (int c = 0; i + 1 == sizes.size() && c < size.rounds * (Repetitions + 1); ++c) {
            copiesMerge.push_back(folder / "copies" / (size.label + "-m" + std::to_string(c)));
            fs::create_directories(copiesMerge.back());
            fs::copy(mod, copiesMerge.back(), fs::copy_options::recursive);
        }
        std::uintmax_t total = bytes.back();
        benchmark::RegisterBenchmark(nameA(size).c_str(), loadEditSave, std::cref(copies[i]), total,
                                     std::ref(failed[nameA(size)]), nullptr)
            ->Iterations(size.rounds)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(nameB(size).c_str(), readReplaceBaseline, std::cref(copiesB[i]), total,
                                     std::ref(failed[nameB(size)]))
            ->Iterations(size.rounds)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(nameFresh(size).c_str(), loadEditSave, std::cref(single[i]), total,
                                     std::ref(failed[nameFresh(size)]), nullptr)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        if (i + 1 == sizes.size())
            benchmark::RegisterBenchmark(nameMerge(size).c_str(), loadEditSave, std::cref(copiesMerge), total,
                                         std::ref(failed[nameMerge(size)]), &ChangesBothLargeFiles)
                ->Iterations(size.rounds)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    }
    // The copies go to the disk now, not during a round's flush.
    ::sync();
    std::this_thread::sleep_for(SettleTime);
    std::printf("Mods generated in %s\n", folder.string().c_str());

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::set<std::string> failures;
    for (const auto& [name, f] : failed)
        if (f) failures.insert(name);
    return printSummary(reporter, sizes, bytes, failures);
}

}  // namespace

int main(int argc, char** argv) {
    // Disk timings wander from one second to the next, so by default each benchmark runs
    // five times, the runs of all of them shuffled together, and the medians are compared.
    // A player's run loads a mod once. Round after round in one process, glibc would hand
    // the memory of each round's large texts back to the system and fault it in again in
    // the next, a cost that no single run pays and that B, with one buffer, escapes: keep
    // freed memory in the process for both, so that the rounds measure the work itself.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    if (!initBenchmark(argc, argv, Repetitions)) return 1;

    // The last two must stay the 1x and 10x pair that the growth target compares.
    const std::vector<ModSize> sizes{
        {"typical", 700, 600, 20},
        {"1MiB", MiB, MiB, 8},
        {"10MiB", 10 * MiB, 10 * MiB, 3},
    };

    try {
        ScratchFolder scratch;
        return run(scratch.path(), sizes) ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_settings: %s\n", e.what());
        return 2;
    }
}
