// How long the start-up takes: from launch to the folder dialog on an X server, against
// an empty Qt dialog; from a confirmed mod to the main window; and filling the chooser
// from a mods folder of 30,000 subfolders. The in-process benchmarks run with
// QT_QPA_PLATFORM=offscreen; the launched children always use X, on the caller's DISPLAY
// or on an Xvfb started here.

#include "Dialogs.h"
#include "EditorProgram.h"
#include "EditorState.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarsun;

namespace {

// Answers without any window of its own, except where a benchmark opens the real dialog.
class BenchDialogs : public Dialogs {
public:
    std::function<QString(QWidget*, const QString&)> browse;
    std::deque<bool> answers;
    bool ended = false;

    void showError(QWidget*, const QString&) override {}
    bool askYesNo(QWidget*, const QString&, const QString&) override {
        if (answers.empty())
            return true;  // never leave a benchmark asking forever
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    QString browseForFolder(QWidget* owner, const QString& prompt, const QString&) override {
        return browse(owner, prompt);
    }
    void endProgram() override { ended = true; }
};

// Settings for the in-process runs, away from the user's own.
QSettings& scratchSettings() {
    static QTemporaryDir folder;
    static QSettings settings(folder.filePath(QStringLiteral("tarsun.ini")), QSettings::IniFormat);
    return settings;
}

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// ---- Launch to the folder dialog on an X server -----------------------------------------

// One child process, from the moment it is launched until it reports its window mapped.
struct Launch {
    double ms = 0;       // launch to "mapped"
    double cpuMs = 0;    // the child's user and system time
    double peakMiB = 0;  // its largest resident set
};

std::optional<Launch> launch(const char* program) {
    int out[2];
    if (pipe(out) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* args[] = {const_cast<char*>(program), nullptr};

    const auto begin = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program, &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (failed) {
        close(out[0]);
        return std::nullopt;
    }
    std::string line;
    char c = 0;
    pollfd wait{out[0], POLLIN, 0};
    while (line != "mapped" && poll(&wait, 1, 30000) == 1 && read(out[0], &c, 1) == 1)
        line += c == '\n' ? std::string() : std::string(1, c);
    const auto end = std::chrono::steady_clock::now();
    close(out[0]);
    if (line != "mapped")
        kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (line != "mapped" || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return Launch{std::chrono::duration<double, std::milli>(end - begin).count(),
                  ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_maxrss / 1024.0};
}

// An X server for the children: the caller's (DISPLAY), or an Xvfb of our own.
class XServer {
public:
    XServer() {
        if (const char* display = std::getenv("DISPLAY"); display && *display)
            return;
        int fd[2];
        if (pipe(fd) != 0)
            return;
        const std::string displayFd = std::to_string(fd[1]);
        const char* args[] = {"Xvfb", "-displayfd", displayFd.c_str(), "-screen", "0", "1280x800x24",
                              "-nolisten", "tcp", nullptr};
        posix_spawn_file_actions_t quiet;  // its start-up chatter would break up the table
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "Xvfb", &quiet, nullptr, const_cast<char**>(args), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&quiet);
        close(fd[1]);
        std::string number;
        char c = 0;
        pollfd wait{fd[0], POLLIN, 0};
        while (pid_ > 0 && poll(&wait, 1, 10000) == 1 && read(fd[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fd[0]);
        if (!number.empty())
            setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    ~XServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return std::getenv("DISPLAY") != nullptr; }

private:
    pid_t pid_ = -1;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct LaunchSummary {
    std::vector<Launch> editor, floor;
};
LaunchSummary launches;

// The editor and the empty dialog launched in pairs, taking turns to go first, so that
// both meet the same machine; the summary after the run compares their medians.
void BM_LaunchToFolderDialogAgainstEmptyDialog(benchmark::State& st) {
    static XServer server;
    if (!server.ready()) {
        st.SkipWithError("no X server: set DISPLAY or install Xvfb");
        return;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);  // for the children only
    bool editorFirst = true;
    for (auto _ : st) {
        std::optional<Launch> editor, floor;
        if (editorFirst)
            editor = launch(TARSUN_EDITOR_CHILD), floor = launch(TARSUN_EMPTY_CHILD);
        else
            floor = launch(TARSUN_EMPTY_CHILD), editor = launch(TARSUN_EDITOR_CHILD);
        editorFirst = !editorFirst;
        if (!editor || !floor) {
            st.SkipWithError("a child did not map its dialog");
            return;
        }
        launches.editor.push_back(*editor);
        launches.floor.push_back(*floor);
        st.SetIterationTime(editor->ms / 1e3);
    }
}
BENCHMARK(BM_LaunchToFolderDialogAgainstEmptyDialog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// Prints the launch comparison; false when a target is missed.
bool printLaunchSummary() {
    if (launches.editor.empty())
        return true;
    const auto of = [](const std::vector<Launch>& runs, double Launch::*field) {
        std::vector<double> values;
        for (const Launch& run : runs)
            values.push_back(run.*field);
        return median(values);
    };
    const double ms = of(launches.editor, &Launch::ms), floorMs = of(launches.floor, &Launch::ms);
    const double cpu = of(launches.editor, &Launch::cpuMs), floorCpu = of(launches.floor, &Launch::cpuMs);
    const double mem = of(launches.editor, &Launch::peakMiB), floorMem = of(launches.floor, &Launch::peakMiB);
    constexpr double TimeTarget = 1.2, CpuTarget = 1.5;
    std::printf("\nLaunch to the dialog mapped, medians of %zu pairs:\n", launches.editor.size());
    std::printf("%-24s %10s %10s %10s\n", "", "mapped ms", "cpu ms", "peak MiB");
    std::printf("%-24s %10.1f %10.1f %10.1f\n", "editor, folder dialog", ms, cpu, mem);
    std::printf("%-24s %10.1f %10.1f %10.1f\n", "empty Qt dialog", floorMs, floorCpu, floorMem);
    const bool timeOk = ms <= TimeTarget * floorMs, cpuOk = cpu <= CpuTarget * floorCpu;
    std::printf("%-24s %10.2f %10.2f %10.2f\n", "editor / empty", ms / floorMs, cpu / floorCpu, mem / floorMem);
    std::printf("time ratio %.2f (target at most %.1f): %s\n", ms / floorMs, TimeTarget, timeOk ? "met" : "MISSED");
    std::printf("cpu ratio %.2f (target at most %.1f): %s\n", cpu / floorCpu, CpuTarget, cpuOk ? "met" : "MISSED");
    return timeOk && cpuOk;
}

void BM_ConfirmedModToMainWindow(benchmark::State& st) {
    const QString game = QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall");
    for (auto _ : st) {
        EditorState state;
        BenchDialogs dialogs;
        dialogs.browse = [&](QWidget*, const QString&) { return game; };
        EditorProgram program(state, dialogs, scratchSettings());
        program.start();
        ModList& list = program.startUp().chooser().list();
        const auto found = list.findItems(QStringLiteral("TarsunSample"), Qt::MatchExactly);
        if (found.isEmpty()) {
            st.SkipWithError("the sample mod is not listed");
            return;
        }
        list.setCurrentItem(found.front());
        dialogs.answers = {true};

        QElapsedTimer timer;
        timer.start();
        program.startUp().ListMods_DblClick();
        QCoreApplication::processEvents();  // the main window's first painting
        st.SetIterationTime(seconds(timer));
        if (!program.formMain().isVisible() || dialogs.ended) {
            st.SkipWithError("the sample mod did not load");
            return;
        }
    }
}
BENCHMARK(BM_ConfirmedModToMainWindow)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_FillChooserWith30000Mods(benchmark::State& st) {
    constexpr int ModCount = 30000;
    QTemporaryDir root;
    const QString game = root.filePath(QStringLiteral("game"));
    QDir mods(game + QStringLiteral("/mods"));
    for (int i = 0; i < ModCount; ++i)
        mods.mkpath(QStringLiteral("Mod %1").arg(ModCount - i, 5, 10, QLatin1Char('0')));

    for (auto _ : st) {
        EditorState state;
        BenchDialogs dialogs;
        dialogs.browse = [&](QWidget*, const QString&) { return game; };
        QWidget mainWindow;
        StartUp startUp(state, dialogs, scratchSettings(), mainWindow, [] {});

        QElapsedTimer timer;
        timer.start();
        startUp.Form_Load();
        QCoreApplication::processEvents();  // the filled chooser's painting
        st.SetIterationTime(seconds(timer));
        if (startUp.chooser().list().count() != ModCount) {
            st.SkipWithError("the chooser does not list every mod");
            return;
        }
    }
}
BENCHMARK(BM_FillChooserWith30000Mods)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return printLaunchSummary() ? 0 : 1;
}
