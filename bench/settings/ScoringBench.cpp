// The scoring file at the sizes a mod tool meets beside the usual few kilobytes: a big real
// one (100 KB), a generated one (7 MB, 170,000 assignments) and a broken one (a ''' never
// closed, 1,000,000 lines after it). Each is loaded as the editor loads a mod, and the big
// one saved after one edit; the heap's high-water mark during the step is reported in
// bytes per byte of the scoring file ("heap/byte"). A summary says whether each target
// was met: load 100 KB <= 30 ms, 7 MB <= 0.5 s, broken <= 1 s, save an edit of 7 MB <= 0.8 s,
// heap <= 10 bytes per byte.

#include "EditorState.h"
#include "ModLoader.h"
#include "ModWriter.h"

#include "BenchMods.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace tarsun;
using namespace tarsun::bench;

// ---- The heap's high-water mark: every malloc of the program (tree-sitter's too) -------

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {
std::atomic<std::size_t> heapNow{0}, heapPeak{0};
void grew(void* p) {
    if (!p) return;
    const std::size_t now = heapNow += malloc_usable_size(p);
    std::size_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
}
void shrinks(void* p) {
    if (p) heapNow -= malloc_usable_size(p);
}
}  // namespace

extern "C" {
void* malloc(std::size_t n) {
    void* p = __libc_malloc(n);
    grew(p);
    return p;
}
void* calloc(std::size_t n, std::size_t size) {
    void* p = __libc_calloc(n, size);
    grew(p);
    return p;
}
void* realloc(void* old, std::size_t n) {
    shrinks(old);
    void* p = __libc_realloc(old, n);
    grew(p ? p : old);
    return p;
}
void free(void* p) {
    shrinks(p);
    __libc_free(p);
}
}

namespace {

// The heap taken above what was live before f, at its highest.
std::size_t peakDuring(const std::function<void()>& f) {
    const std::size_t before = heapNow.load();
    heapPeak = before;
    f();
    return heapPeak.load() - before;
}

std::string bigScoring(std::size_t assignments) {
    EditorState names;
    names.InitScoreNames();
    std::string text = "# generated scoring file\r\nimport host\r\nfrom qmr import *\r\n";
    text.reserve(assignments * 42);
    for (std::size_t i = 0; i < assignments; ++i)
        text += names.ScoreNames[i % ScoreCount] + "_" + padded(i, 6) + " = " + std::to_string(i % 97) + "   # pts\r\n";
    for (const std::string& name : names.ScoreNames) text += name + " = 2\r\n";
    return text;
}

std::string brokenScoring(std::size_t lines) {
    std::string text = "from qmr import *\r\nSCORE_KILL = 2\r\nDOC = '''\r\n";
    text.reserve(lines * 17);
    for (std::size_t i = 0; i < lines; ++i) text += "SCORE_KILL = 5\r\n";
    return text;
}

// A big real one: functions with print statements, comments, the constants among them.
std::string realScoring(std::size_t target) {
    std::string text = scoringText([] {
        EditorState names;
        names.InitScoreNames();
        return names.ScoreNames;
    }());
    for (std::size_t i = 0; text.size() < target; ++i)
        text += "\r\ndef onEvent" + std::to_string(i) + "(player, kind):\r\n"
                "    # award the points of this kind of event\r\n"
                "    if kind <> None and player.isValid():\r\n"
                "        print \"scoring event\", kind, `player`\r\n"
                "        player.score.score += SCORE_KILL * 2\r\n";
    return text;
}

struct Case {
    ScratchFolder folder;
    std::size_t scoringBytes = 0;
    explicit Case(const std::string& scoring) {
        makeMod(folder.path(), 200, 200);
        writeFile(folder.path() / "python" / "game" / "scoringCommon.py", scoring);
        scoringBytes = scoring.size();
    }
    EditorState load() const {
        EditorState state;
        state.ModFolder = folder.path();
        state.InitScoreNames();
        if (!LoadModSettings(state).loaded()) throw std::runtime_error("the benchmark mod does not load");
        return state;
    }
};

struct Target {
    double seconds;
    double measured = 0;
    double heapPerByte = 0;
};
std::map<std::string, Target> targets{
    {"Load/100KB", {0.030}}, {"Load/7MB", {0.5}}, {"Load/Broken", {1.0}}, {"SaveAnEdit/7MB", {0.8}}};

const Case& caseFor(const std::string& label) {
    static const Case real(realScoring(100'000)), big(bigScoring(170'000)), broken(brokenScoring(1'000'000));
    return label == "100KB" ? real : label == "7MB" ? big : broken;
}

void load(benchmark::State& s, const std::string& label) {
    const Case& c = caseFor(label);
    std::size_t heap = 0;
    for (auto _ : s) heap = std::max(heap, peakDuring([&] { benchmark::DoNotOptimize(c.load()); }));
    Target& t = targets["Load/" + label];
    t.heapPerByte = static_cast<double>(heap) / static_cast<double>(c.scoringBytes);
    s.counters["heap/byte"] = t.heapPerByte;
    s.counters["MB"] = static_cast<double>(c.scoringBytes) / 1e6;
}

void saveAnEdit(benchmark::State& s) {
    const Case& c = caseFor("7MB");
    EditorState state = c.load();
    std::size_t heap = 0;
    for (auto _ : s) {
        heap = std::max(heap, peakDuring([&] {
            state.setScoreValue(0, state.ScoreValues[state.ListScores()[0].Index] == 2 ? 3 : 2);
            if (!SaveModSettings(state, {}).done()) throw std::runtime_error("the save failed");
        }));
    }
    Target& t = targets["SaveAnEdit/7MB"];
    t.heapPerByte = static_cast<double>(heap) / static_cast<double>(c.scoringBytes);
    s.counters["heap/byte"] = t.heapPerByte;
}

// Keeps each benchmark's mean time for the summary.
class Summary : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.aggregate_name == "mean" || (r.run_type == Run::RT_Iteration && r.repetitions <= 1)) {
                auto found = targets.find(r.run_name.function_name);
                if (found != targets.end()) found->second.measured = r.GetAdjustedRealTime() / 1e3;
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!initBenchmark(argc, argv, 3)) return 1;
    for (const char* label : {"100KB", "7MB", "Broken"})
        benchmark::RegisterBenchmark(("Load/" + std::string(label)).c_str(), load, std::string(label))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::RegisterBenchmark("SaveAnEdit/7MB", saveAnEdit)->Unit(benchmark::kMillisecond)->UseRealTime();
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    bool all = true;
    std::printf("\n%-16s %10s %10s %10s %10s\n", "", "seconds", "target", "heap/byte", "met");
    for (const auto& [name, t] : targets) {
        const bool met = t.measured > 0 && t.measured <= t.seconds && t.heapPerByte <= 10.0;
        all = all && met;
        std::printf("%-16s %10.3f %10.3f %10.2f %10s\n", name.c_str(), t.measured, t.seconds, t.heapPerByte,
                    met ? "yes" : "NO");
    }
    benchmark::Shutdown();
    return all ? 0 : 2;
}
