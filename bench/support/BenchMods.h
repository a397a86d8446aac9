#pragma once

// What the benchmarks share: generated mods of a chosen size in a scratch folder, a plain
// read of a whole file, and a console report that keeps each benchmark's times.

#include "EditorState.h"
#include "ModFiles.h"
#include "ReplaceProtocol.h"

#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarsun::bench {

namespace fs = std::filesystem;

// ---- Generated mod files -------------------------------------------------------------

// Starts Google Benchmark with the repetitions shuffled together, so that A and B share the
// machine's ups and downs, and only the aggregates shown. Flags given on the command line
// come later and win. False when one of them is not Google Benchmark's.
inline bool initBenchmark(int argc, char** argv, int repetitions) {
    std::vector<std::string> defaults{"--benchmark_repetitions=" + std::to_string(repetitions),
                                      "--benchmark_enable_random_interleaving=true",
                                      "--benchmark_display_aggregates_only=true"};
    std::vector<char*> args{argv[0]};
    for (std::string& flag : defaults) args.push_back(flag.data());
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

inline std::string padded(std::size_t n, std::size_t width) {
    std::string digits = std::to_string(n);
    return std::string(digits.size() < width ? width - digits.size() : 0, '0') + digits;
}

inline std::string botNamesText(std::size_t target) {
    std::string text = "rem Bot names of the benchmark mod\r\n\r\n";
    for (std::size_t i = 0; text.size() < target; ++i) {
        if (i > 0 && i % 25 == 0) text += "\r\nrem squad " + std::to_string(i / 25) + "\r\n";
        text += std::string(BotNamePrefix) + "Name" + padded(i, 4) + "\r\n";
    }
    return text;
}

// Server commands as a big server's file holds them: a long map list, other settings,
// comments, and commands that merely begin like a friendly-fire one.
inline std::string serverSettingsText(std::size_t target) {
    std::string text = "rem ServerSettings.CON of the benchmark mod\r\n"
                       "sv.serverName \"Tarsun Bench Server\"\r\n"
                       "sv.password \"\"\r\n";
    auto friendlyFire = [&] {
        text += "\r\nrem friendly fire, in percent\r\n"
                "sv.soldierFriendlyFire 75\r\n"
                "sv.vehicleFriendlyFire 50\r\n"
                "sv.soldierSplashFriendlyFire 60\r\n"
                "sv.vehicleSplashFriendlyFire 40\r\n\r\n";
    };
    bool placed = false;
    for (std::size_t i = 0; text.size() < target; ++i) {
        if (!placed && text.size() >= target / 2) {
            friendlyFire();
            placed = true;
        }
        switch (i % 12) {
        case 0: text += "rem map rotation block " + std::to_string(i / 12) + "\r\n"; break;
        case 1: text += "sv.maxPlayers 64\r\n"; break;
        case 2: text += "sv.spawnTime 15\r\n"; break;
        case 3: text += "sv.soldierFriendlyFireScale 2\r\n"; break;
        case 4: text += "sv.friendlyFireWithMines 1\r\n"; break;
        case 5: text += "sv.ticketRatio 100\r\n"; break;
        case 6: text += "\r\n"; break;
        default: text += "mapList.append kestrel_ridge_" + padded(i, 6) + " gpm_cq 64\r\n"; break;
        }
    }
    if (!placed) friendlyFire();
    return text;
}

inline std::string aiDefaultsText() {
    return "rem AIDefault.AI of the benchmark mod\r\n"
           "aiSettings.setViewDistance 350\r\n"
           "aiSettings.setMaxNBots 24\r\n"
           "aiSettings.setBotSkill 0.35\r\n"
           "aiSettings.overrideMenuSettings 1\r\n"
           "\r\n"
           "rem run the bot names file\r\n"
           "run BotNames.ai\r\n";
}

inline std::string scoringText(const std::array<std::string, ScoreCount>& names) {
    std::string text = "# scoringCommon.py of the benchmark mod\r\n\r\n"
                       "import host\r\nimport bf2\r\nfrom qmr import *\r\n\r\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i % 12 == 0) text += "\r\n# --- group " + std::to_string(i / 12 + 1) + " ---\r\n";
        text += names[i] + " = " + std::to_string(i % 7 + 1);
        text += i % 5 == 0 ? "   # points\r\n" : "\r\n";
    }
    text += "\r\ndef scoreFor(kind):\r\n"
            "    return globals().get(kind, 0)\r\n";
    return text;
}

// Written through to the disk, so that the write-back of 40 MB of fresh files does not
// slow down whichever benchmark happens to run first.
inline void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    Expected<void> written = replaceFileText(path, bytes);
    if (!written) throw std::runtime_error("cannot write " + path.string() + ": " + written.reason());
}

// Writes a mod into folder and returns the size of its four files together.
inline std::uintmax_t makeMod(const fs::path& folder, std::size_t botBytes, std::size_t serverBytes) {
    EditorState names;
    names.InitScoreNames();
    writeFile(folder / "AI" / "BotNames.AI", botNamesText(botBytes));
    writeFile(folder / "Settings" / "ServerSettings.CON", serverSettingsText(serverBytes));
    writeFile(folder / "AI" / "AIDefault.AI", aiDefaultsText());
    writeFile(folder / "python" / "game" / "scoringCommon.py", scoringText(names.ScoreNames));
    std::uintmax_t total = 0;
    for (ModFile file : AllModFiles) total += fs::file_size(FolderListings().findModFile(folder, file));
    return total;
}

// A new, empty folder of our own below the temporary folder; removed when done.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path candidate = fs::temp_directory_path() / ("tarsun-bench-" + std::to_string(random()));
            if (fs::create_directory(candidate)) {
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("no temporary folder could be created");
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Read with nothing in the way: size the buffer once and read it in one call.
inline std::optional<std::string> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in) return std::nullopt;
    return bytes;
}

struct Timing {
    double realMs = 0;
    double cpuMs = 0;
};

// The console output as usual, keeping each benchmark's times: the median over the
// repetitions when there are several, else the one run's.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    // No colour codes: the output is as often kept in a file as read on a terminal.
    CollectingReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            double toMs = 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            Timing t{run.GetAdjustedRealTime() * toMs, run.GetAdjustedCPUTime() * toMs};
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration)
                single_[name] = t;
            else if (run.aggregate_name == "median")
                median_[name] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::optional<Timing> timing(const std::string& name) const {
        if (auto it = median_.find(name); it != median_.end()) return it->second;
        if (auto it = single_.find(name); it != single_.end()) return it->second;
        return std::nullopt;
    }

private:
    std::map<std::string, Timing> single_;
    std::map<std::string, Timing> median_;
};

}  // namespace tarsun::bench
