// How long a mod with 100,000 bot names takes to open its main window: the load, the
// window filled and shown, and its first paint. The target is under one second.

#include "Dialogs.h"
#include "EditorState.h"
#include "FormMain.h"
#include "ModLoader.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int BotCount = 100000;

class NoDialogs : public tarsun::Dialogs {
public:
    void showError(QWidget*, const QString&) override {}
    bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
    QString browseForFolder(QWidget*, const QString&, const QString&) override { return {}; }
    void endProgram() override {}
};

// The sample mod with its bot-name file swapped for one of BotCount names.
class BigMod {
public:
    BigMod() {
        const QDir sample(QStringLiteral(TARSUN_EXAMPLES_DIR "/Kestrelfall/mods/TarsunSample"));
        for (const char* file : {"AI/BotNames.AI", "Settings/ServerSettings.CON", "AI/AIDefault.AI",
                                 "python/game/scoringCommon.py"}) {
            const QString name = QString::fromLatin1(file);
            QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
            QFile::copy(sample.filePath(name), dir.filePath(name));
        }
        QByteArray names;
        for (int i = 0; i < BotCount; ++i) names += "aiSettings.addBotName Bot" + QByteArray::number(i) + "\r\n";
        QFile bots(dir.filePath(QStringLiteral("AI/BotNames.AI")));
        if (bots.open(QIODevice::WriteOnly | QIODevice::Truncate)) bots.write(names);
    }
    std::filesystem::path folder() const { return QFile::encodeName(dir.path()).toStdString(); }

private:
    QTemporaryDir dir;
};

void loadState(tarsun::EditorState& state, const BigMod& mod, benchmark::State& bench) {
    state.ModFolder = mod.folder();
    state.InitScoreNames();
    if (!tarsun::LoadModSettings(state).loaded() || state.botCount() != BotCount)
        bench.SkipWithError("the mod did not load");
}

// What the user waits for after choosing the mod: load, fill, show, first paint.
void BM_OpenMainWindow(benchmark::State& bench) {
    const BigMod mod;
    NoDialogs dialogs;
    for (auto _ : bench) {
        tarsun::EditorState state;
        loadState(state, mod, bench);
        tarsun::FormMain main(state, dialogs);
        main.showLoadedValues();
        main.showModeless();
        QApplication::processEvents();
        benchmark::DoNotOptimize(main.grab());
    }
}
BENCHMARK(BM_OpenMainWindow)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The window's share alone, on a state loaded once.
void BM_FillAndShowMainWindow(benchmark::State& bench) {
    const BigMod mod;
    NoDialogs dialogs;
    tarsun::EditorState state;
    loadState(state, mod, bench);
    for (auto _ : bench) {
        tarsun::FormMain main(state, dialogs);
        main.showLoadedValues();
        main.showModeless();
        QApplication::processEvents();
        benchmark::DoNotOptimize(main.grab());
    }
}
BENCHMARK(BM_FillAndShowMainWindow)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
