// How long the start-up takes: from launch to the folder dialog, from a confirmed mod to
// the main window, and filling the chooser from a mods folder of 30,000 subfolders.
// Run with QT_QPA_PLATFORM=offscreen where there is no display.

#include "Dialogs.h"
#include "EditorProgram.h"
#include "EditorState.h"
#include "FolderBrowseDialog.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string_view>

using namespace tarsun;

namespace {

constexpr std::string_view ChildFlag = "--start-to-folder-dialog";

// Answers without any window of its own, except where a benchmark opens the real dialog.
class BenchDialogs : public Dialogs {
public:
    std::function<QString(QWidget*, const QString&)> browse;
    std::deque<bool> answers;
    bool ended = false;

    void showError(QWidget*, const QString&) override {}
    bool askYesNo(QWidget*, const QString&) override {
        if (answers.empty())
            return true;  // never leave a benchmark asking forever
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    QString browseForFolder(QWidget* owner, const QString& prompt) override { return browse(owner, prompt); }
    void endProgram() override { ended = true; }
};

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The program's own sequence, as main runs it, up to the moment the folder dialog is on
// the screen; then the process leaves at once.
int startToFolderDialog(int argc, char** argv) {
    QApplication app(argc, argv);
    EditorState state;
    BenchDialogs dialogs;
    dialogs.browse = [](QWidget* owner, const QString& prompt) {
        FolderBrowseDialog dialog(prompt, owner && owner->isVisible() ? owner : nullptr);
        dialog.show();
        QCoreApplication::processEvents();
        std::_Exit(0);
        return QString();
    };
    EditorProgram program(state, dialogs);
    program.start();
    return 1;  // the dialog never came up
}

void BM_ProcessStartToFolderDialog(benchmark::State& st) {
    for (auto _ : st) {
        QProcess child;
        QElapsedTimer timer;
        timer.start();
        child.start(QCoreApplication::applicationFilePath(), {QString::fromUtf8(ChildFlag.data(), ChildFlag.size())});
        if (!child.waitForFinished(30000) || child.exitCode() != 0) {
            st.SkipWithError("the child did not reach the folder dialog");
            return;
        }
        st.SetIterationTime(seconds(timer));
    }
}
BENCHMARK(BM_ProcessStartToFolderDialog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ConfirmedModToMainWindow(benchmark::State& st) {
    const QString game = QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall");
    for (auto _ : st) {
        EditorState state;
        BenchDialogs dialogs;
        dialogs.browse = [&](QWidget*, const QString&) { return game; };
        EditorProgram program(state, dialogs);
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
        StartUp startUp(state, dialogs, mainWindow, [] {});

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
    if (argc > 1 && argv[1] == ChildFlag)
        return startToFolderDialog(argc, argv);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
