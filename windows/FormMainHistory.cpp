#include "FormMain.h"

// The main window's keys and its undo and redo of value edits.

#include "EditHistory.h"
#include "EditorState.h"
#include "PendingEdits.h"
#include "StateListModel.h"

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QToolTip>

namespace tarsun {

namespace {

const QString Arrow = QStringLiteral(" \u2192 ");

}  // namespace

void FormMain::createShortcuts() {
    history_ = new EditHistory(this);
    auto* save = new QAction(this);
    save->setObjectName(QStringLiteral("ActionSave"));
    save->setShortcuts(QKeySequence::keyBindings(QKeySequence::Save));
    connect(save, &QAction::triggered, this, &FormMain::PictureSave_Click);
    addAction(save);
}

void FormMain::recordSetting(Setting setting, int was, int now) {
    if (history_->replaying()) return;
    const QString name = settingName(setting) + QStringLiteral(": ");
    history_->record(name + QString::number(was) + Arrow + QString::number(now), [=, this](bool redo) {
        const int from = redo ? was : now, to = redo ? now : was;
        SettingControl& shown = settings_[slotOf(setting)];
        shown.setValue(to);
        QLabel* label = shown.valueLabel();
        showChange(shown.control(), label->mapToGlobal(QPoint(0, label->height())),
                   name + QString::number(from) + Arrow + QString::number(to));
    });
}

void FormMain::rememberBeforeEditor() {
    const auto row = static_cast<std::size_t>(state_.EditIndex);
    if (state_.EditMode == -1) {
        botNameWas_ = state_.botName(row);
    } else {
        const ScoreEntry& entry = state_.ListScores()[row];
        scoreWasEdited_ = entry.Edited;
        scoreWas_ = state_.ScoreValues[entry.Index];
    }
}

void FormMain::recordEditorEdit() {
    const int row = state_.EditIndex;
    const auto entry = static_cast<std::size_t>(row);
    if (state_.EditMode == -1) {
        const std::string was = botNameWas_, now = state_.botName(entry);
        if (was == now) return;
        const QString name = QStringLiteral("Bot name row %1: ").arg(row + 1);
        history_->record(name + QString::fromStdString(was) + Arrow + QString::fromStdString(now),
                         [=, this](bool redo) {
                             if (!putBotName(row, redo ? now : was)) return;
                             showRow(listBotNames_, row,
                                     name + QString::fromStdString(redo ? was : now) + Arrow +
                                         QString::fromStdString(redo ? now : was));
                         });
        return;
    }
    const ScoreEntry& score = state_.ListScores()[entry];
    const bool wasEdited = scoreWasEdited_, nowEdited = score.Edited;
    const qint64 was = scoreWas_, now = state_.ScoreValues[score.Index];
    if (wasEdited == nowEdited && was == now) return;
    // By the constant, not its row: a save that took another program's lines in may have
    // given the list rows that were not there.
    const std::size_t table = score.Index;
    const QString name = QString::fromStdString(state_.ScoreNames[table]) + QStringLiteral(": ");
    history_->record(name + QString::number(was) + Arrow + QString::number(now), [=, this](bool redo) {
        const int at = putScore(table, redo ? nowEdited : wasEdited, redo ? now : was);
        if (at >= 0)
            showRow(listScores_, at, name + QString::number(redo ? was : now) + Arrow + QString::number(redo ? now : was));
    });
}

bool FormMain::putBotName(int row, const std::string& name) {
    const auto entry = static_cast<std::size_t>(row);
    if (entry >= state_.botCount()) return false;  // a save took in a file with fewer names
    // The file's own name is taken back as it stands, even one the editor would refuse.
    if (name == state_.BotFile.savedName(entry))
        state_.BotFile.revertName(entry);
    else
        state_.setBotName(entry, name);
    botNamesModel_->rowChanged(row);
    return true;
}

int FormMain::putScore(std::size_t table, bool edited, qint64 value) {
    const ScoreEntry* score = state_.TextScore.entryOf(table);
    if (!score) return -1;  // the file binds it no more
    const auto entry = static_cast<std::size_t>(score - state_.ListScores().data());
    // Unedited means as the file holds it; after a save the file may hold another value.
    if (edited || value != score->SavedValue)
        state_.setScoreValue(entry, value);
    else
        state_.revertScore(entry);
    scoresModel_->rowChanged(static_cast<int>(entry));
    return static_cast<int>(entry);
}

void FormMain::showRow(QListView* list, int row, const QString& text) {
    const QModelIndex index = list->model()->index(row, 0);
    list->setCurrentIndex(index);
    list->scrollTo(index);
    const QRect at = list->visualRect(index);
    showChange(list, list->viewport()->mapToGlobal(at.bottomLeft()), text);
}

void FormMain::showChange(QWidget* focus, QPoint at, const QString& text) {
    // The control takes the focus and a tip says what the undo or redo changed.
    focus->setFocus(Qt::OtherFocusReason);
    QToolTip::showText(at, text, focus);
}

}  // namespace tarsun
