// Renders each window of the editor, loaded with a mod, to PNG files: a way to look at
// the windows without a display.
//
//   tarsun-render OUTPUT_FOLDER [MOD_FOLDER]

#include "Dialogs.h"
#include "EditorState.h"
#include "FormEdit.h"
#include "FormMain.h"
#include "FormSave.h"
#include "ModLoader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QToolTip>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

// Nothing is asked while rendering; a question is answered No.
class SilentDialogs : public tarsun::Dialogs {
public:
    void showError(QWidget*, const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
    QString browseForFolder(QWidget*, const QString&, const QString&) override { return {}; }
    void endProgram() override {}
};

bool render(QWidget& window, const QDir& folder, const QString& name) {
    window.show();
    QApplication::processEvents();
    const QString file = folder.filePath(name);
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "Could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    window.hide();
    return true;
}

// The window with a tooltip of `owner` drawn over it where it shows (the tip is a window of
// its own, which a grab of this one leaves out).
bool renderWithTip(QWidget& window, QWidget& owner, const QDir& folder, const QString& name) {
    window.show();
    QApplication::processEvents();
    const QPoint at = owner.mapToGlobal(QPoint(owner.width() / 2, owner.height()));
    QToolTip::showText(at, owner.toolTip(), &owner);
    QApplication::processEvents();
    QPixmap picture = window.grab();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() != QStringLiteral("qtooltip_label") || !top->isVisible()) continue;
        const QPixmap tip = top->grab();
        const QPoint place = at - window.mapToGlobal(QPoint(0, 0));
        // A tip that reaches beyond the window makes the picture larger.
        const QRect whole = picture.rect().united(QRect(place, tip.size() / tip.devicePixelRatio()));
        QPixmap canvas(whole.size());
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        painter.drawPixmap(0, 0, picture);
        painter.drawPixmap(place, tip);
        painter.end();
        picture = canvas;
    }
    QToolTip::hideText();
    const QString file = folder.filePath(name);
    if (!picture.save(file)) {
        std::fprintf(stderr, "Could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    window.hide();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: tarsun-render OUTPUT_FOLDER [MOD_FOLDER]\n");
        return 2;
    }
    const QDir out(args[1]);
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "Could not create %s\n", qPrintable(args[1]));
        return 1;
    }
    const QString mod = args.size() > 2 ? args[2] : QStringLiteral(TARSUN_SAMPLE_MOD);

    tarsun::EditorState state;
    state.ModFolder = QFile::encodeName(mod).toStdString();
    state.InitScoreNames();
    const tarsun::LoadResult loaded = tarsun::LoadModSettings(state);
    if (!loaded.loaded()) {
        for (const auto& problem : loaded.problems)
            std::fprintf(stderr, "%s: %s\n", problem.path.string().c_str(), problem.reason.c_str());
        return 1;
    }

    SilentDialogs dialogs;
    tarsun::FormMain main(state, dialogs);
    main.showLoadedValues();
    bool ok = render(main, out, QStringLiteral("main-window.png"));

    tarsun::FormEdit edit(state, dialogs);
    if (state.botCount() > 0) {
        edit.prepareBotName(static_cast<int>(std::min<std::size_t>(2, state.botCount() - 1)));
        ok = render(edit, out, QStringLiteral("edit-bot-name.png")) && ok;
    }
    if (!state.ListScores().empty()) {
        edit.prepareScore(static_cast<int>(std::min<std::size_t>(1, state.ListScores().size() - 1)));
        ok = render(edit, out, QStringLiteral("edit-score.png")) && ok;
    }
    tarsun::FormSave save(state, dialogs);
    ok = render(save, out, QStringLiteral("save-window.png")) && ok;

    // Edits in three groups: marked in the main window, listed on the save window's boxes.
    main.findChild<QSlider*>(QStringLiteral("SliderBotSkill"))->setValue(66);
    main.findChild<QSlider*>(QStringLiteral("SliderMaxBots"))->setValue(32);
    if (!state.ListScores().empty()) state.setScoreValue(0, state.ScoreValues[state.ListScores()[0].Index] + 3);
    if (state.botCount() > 2) state.setBotName(2, "Talon");
    ok = renderWithTip(main, *main.findChild<QLabel*>(QStringLiteral("LabelBotSkill")), out,
                       QStringLiteral("main-window-marked.png")) && ok;
    ok = renderWithTip(save, *save.findChild<QWidget*>(QStringLiteral("CheckBots")), out,
                       QStringLiteral("save-window-tooltip.png")) && ok;
    return ok ? 0 : 1;
}
