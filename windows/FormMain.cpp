#include "FormMain.h"

#include "Dialogs.h"
#include "EditorState.h"
#include "FormEdit.h"
#include "FormSave.h"
#include "Look.h"
#include "ModFileWatcher.h"
#include "PendingEdits.h"
#include "PictureButton.h"
#include "StateListModel.h"

#include <QCloseEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QScopedValueRollback>

#include <utility>

namespace tarsun {

FormMain::FormMain(EditorState& state, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint), state_(state),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Tarsun Editor"));
    setWindowIcon(programIcon());
    setFixedSize(twips(6735), twips(5400));
    setFont(labelFont(false));

    createPictureButtons();
    createLabels();
    createSettingControls();
    createLists();
    markEditedRows();
    orderFocus();
    nameControls();
    createShortcuts();
    watch_ = new ModFileWatcher(state_, this);
    connect(watch_, &ModFileWatcher::notesChanged, this, &FormMain::showDiskNotes);
}

FormMain::~FormMain() = default;

void FormMain::showEvent(QShowEvent* event) {
    // The window is built at start and stays hidden behind the folder dialog and the
    // chooser; decoding its pictures then would only delay the dialog.
    if (background_.isNull()) loadPictures();
    watch_->checkSoon();  // the edits made elsewhere change what a save would do
    QWidget::showEvent(event);
}

bool FormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return QWidget::eventFilter(watched, event);
    if (watched == listScores_) ListScores_DblClick();
    else if (watched == listBotNames_) ListBotNames_DblClick();
    else return QWidget::eventFilter(watched, event);
    return true;
}

void FormMain::showLoadedValues() {
    botNamesModel_->reload();
    scoresModel_->reload();
    showSettings();
    watch_->start();
}

void FormMain::showSettings() {
    const QScopedValueRollback guard(showing_, true);
    for (Setting setting : AllSettings) settings_[slotOf(setting)].setValue(state_.setting(setting));
    // A control already at its value sends no change, so the captions are written here too.
    for (Setting setting : AllSettings) {
        settings_[slotOf(setting)].valueLabel()->setText(QString::number(state_.setting(setting)));
        markSetting(setting);
    }
}

void FormMain::markSetting(Setting setting) {
    QLabel* label = settings_[slotOf(setting)].valueLabel();
    const int saved = state_.savedSetting(setting);
    const bool edited = state_.setting(setting) != saved;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(edited ? EditedYellow : ValueRed));
    label->setPalette(palette);
    QFont font = label->font();
    font.setItalic(edited);
    label->setFont(font);
    // Where the control cannot show what the file holds, the caption's tip says it.
    QStringList tip;
    if (const std::string& note = state_.settingNote(setting); !note.empty()) tip << QString::fromStdString(note);
    if (edited) tip << wasNote(QString::number(saved));
    label->setToolTip(tip.join('\n'));
}

void FormMain::markEditedRows() {
    botNamesModel_->setWas([this](int row) {
        const auto entry = static_cast<std::size_t>(row);
        return state_.editedBotNames().contains(entry) ? QString::fromStdString(state_.BotFile.savedName(entry))
                                                       : QString();
    });
    scoresModel_->setWas([this](int row) {
        const ScoreEntry& e = state_.ListScores()[static_cast<std::size_t>(row)];
        if (!e.Edited) return QString();
        return QString::fromStdString(state_.codePage().decode(state_.TextScore.valueText(e))).simplified();
    });
}

void FormMain::showModeless() {
    if (showPlaced(*this, placed_)) listBotNames_->setFocus();
}

// Window drag ---------------------------------------------------------------------------

void FormMain::mousePressEvent(QMouseEvent* event) {
    // Presses the labels pass on arrive here too; only the bare surface starts a drag.
    const QPoint at = event->position().toPoint();
    if (childAt(at) == nullptr) Form_MouseDown(event->button(), at);
}

void FormMain::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) Form_MouseMove(event->buttons(), event->globalPosition().toPoint());
}

void FormMain::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

void FormMain::Form_MouseDown(Qt::MouseButton button, QPoint position) {
    if (button != Qt::LeftButton) return;
    state_.DragStartX = position.x() * 15;
    state_.DragStartY = position.y() * 15;
    dragging_ = true;
}

void FormMain::Form_MouseMove(Qt::MouseButtons buttons, QPoint globalPosition) {
    if (!dragging_ || buttons != Qt::LeftButton) return;
    // Placing the grabbed point under the pointer, rather than adding up relative moves,
    // keeps the window from drifting when the window system applies moves late.
    move(globalPosition - QPoint(twips(state_.DragStartX), twips(state_.DragStartY)));
}

// Picture buttons -----------------------------------------------------------------------

void FormMain::PictureExit_MouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton) pictureExit_->setPicture(pictureExit1_);
}

void FormMain::PictureExit_MouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    pictureExit_->setPicture(pictureExit2_);
    askExit();
}

void FormMain::PictureMini_MouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton) pictureMini_->setPicture(pictureMini1_);
}

void FormMain::PictureMini_MouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    pictureMini_->setPicture(pictureMini2_);
    showMinimized();
}

void FormMain::closeEvent(QCloseEvent* event) {
    // Ending is endProgram's business; the window itself never just goes away.
    event->ignore();
    askExit();
}

void FormMain::askExit() {
    // The question keeps its words; what Yes would drop is said beneath it.
    const bool yes = dialogs_.askYesNo(this, QStringLiteral("Do you want to exit?"), unsavedGroups(state_));
    state_.Answer = yes ? AnswerYes : AnswerNo;
    if (yes) dialogs_.endProgram();
}

// Values --------------------------------------------------------------------------------

void FormMain::settingChanged(Setting setting) {
    const int was = state_.setting(setting);
    const int value = settings_[slotOf(setting)].showValue();
    state_.setSetting(setting, value);
    markSetting(setting);
    if (was != value && !showing_) recordSetting(setting, was, value);
    if (watch_) watch_->checkSoon();
}

void FormMain::showDiskNotes() {
    const std::pair<ModFile, const char*> captions[] = {
        {ModFile::ServerSettings, "LabelLSettings"}, {ModFile::AIDefaults, "LabelLMaxBots"},
        {ModFile::AIDefaults, "LabelLBotSkill"},     {ModFile::BotNames, "LabelLBotNames"},
        {ModFile::Scoring, "LabelLEditScores"}};
    for (const auto& [file, name] : captions) {
        auto* label = findChild<QLabel*>(QString::fromLatin1(name));
        const QString& note = watch_->note(file);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor::fromRgb(note.isEmpty() ? CaptionWhite : EditedYellow));
        label->setPalette(palette);
        label->setToolTip(note);
    }
}

void FormMain::VScrollSFD_Change() { settingChanged(Setting::SoldierFF); }
void FormMain::VScrollVFD_Change() { settingChanged(Setting::VehicleFF); }
void FormMain::VScrollSSD_Change() { settingChanged(Setting::SoldierSplashFF); }
void FormMain::VScrollVSD_Change() { settingChanged(Setting::VehicleSplashFF); }
void FormMain::SliderBotSkill_Change() { settingChanged(Setting::BotSkill); }
void FormMain::SliderMaxBots_Change() { settingChanged(Setting::MaxBots); }

// The other windows ---------------------------------------------------------------------

int FormMain::selectedRow(const QListView* list) {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

FormEdit& FormMain::editor() {
    if (!formEdit_) {
        formEdit_ = std::make_unique<FormEdit>(state_, dialogs_);
        connect(formEdit_.get(), &FormEdit::finished, this, &FormMain::returnFromEditor);
    }
    return *formEdit_;
}

FormSave& FormMain::saveWindow() {
    if (!formSave_) {
        formSave_ = std::make_unique<FormSave>(state_, dialogs_);
        connect(formSave_.get(), &FormSave::finished, this, &FormMain::returnFromSave);
    }
    return *formSave_;
}

void FormMain::ListBotNames_DblClick() {
    const int row = selectedRow(listBotNames_);
    if (row < 0) return;
    editor().prepareBotName(row);
    rememberBeforeEditor();
    hide();
    editor().showModeless();
}

void FormMain::ListScores_DblClick() {
    const int row = selectedRow(listScores_);
    if (row < 0) return;
    editor().prepareScore(row);
    rememberBeforeEditor();
    hide();
    editor().showModeless();
}

void FormMain::returnFromEditor(bool accepted) {
    if (accepted) {
        StateListModel* model = state_.EditMode == -1 ? botNamesModel_ : scoresModel_;
        model->rowChanged(state_.EditIndex);
        recordEditorEdit();
    }
    showModeless();
}

void FormMain::PictureSave_Click() {
    hide();
    saveWindow().showModeless();
}

void FormMain::returnFromSave(bool wrote) {
    // A save re-reads what it wrote: every entry may now read as the file holds it.
    if (wrote) {
        botNamesModel_->allChanged();
        scoresModel_->allChanged();
        showSettings();
    }
    showModeless();
}

}  // namespace tarsun
