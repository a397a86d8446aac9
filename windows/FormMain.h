#pragma once

// The editor's main window, its hub. It shows every value of the loaded mod: the four
// friendly-fire percentages with their spinners, the maximum bots and bot skill with
// their sliders, the bot names and the scoring constants.
//
// Data flow: the values live in EditorState; each control's change handler writes its
// caption and hands the value to the state, and the two lists read their rows from the
// state. A double-click on a list entry (or Return on it) opens FormEdit, the save button opens FormSave;
// each hides this window and shows it again when it closes, so that one window of the
// program is visible at a time.

#include "ModTables.h"
#include "SettingControl.h"

#include <QPixmap>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

class QListView;

namespace tarsun {

class Dialogs;
class EditHistory;
class EditorState;
class FormEdit;
class FormSave;
class ModFileWatcher;
class PictureButton;
class StateListModel;

class FormMain : public QWidget {
    Q_OBJECT
public:
    FormMain(EditorState& state, Dialogs& dialogs, QWidget* parent = nullptr);
    ~FormMain() override;

    // Fills both lists and shows the six values, after LoadModSettings.
    void showLoadedValues();
    // Shows the window (restoring it if minimised), centred the first time, in front.
    void showModeless();

    // The other windows, or nullptr until first used.
    FormEdit* formEdit() const { return formEdit_.get(); }
    FormSave* formSave() const { return formSave_.get(); }

public slots:
    void Form_MouseDown(Qt::MouseButton button, QPoint position);
    void Form_MouseMove(Qt::MouseButtons buttons, QPoint globalPosition);
    void PictureExit_MouseDown(Qt::MouseButton button);
    void PictureExit_MouseUp(Qt::MouseButton button);
    void PictureMini_MouseDown(Qt::MouseButton button);
    void PictureMini_MouseUp(Qt::MouseButton button);
    void PictureSave_Click();
    void VScrollSFD_Change();
    void VScrollVFD_Change();
    void VScrollSSD_Change();
    void VScrollVSD_Change();
    void SliderBotSkill_Change();
    void SliderMaxBots_Change();
    void ListBotNames_DblClick();
    void ListScores_DblClick();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Alt+F4 or the taskbar: the same question as the exit button.
    void closeEvent(QCloseEvent* event) override;
    // Return or Enter on a list acts as a double-click on its selected row.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createPictureButtons();
    void loadPictures();
    void createLabels();
    void createSettingControls();
    void createLists();
    void orderFocus();
    void nameControls();

    QListView* createList(const char* objectName, QRect geometry, StateListModel* model);
    // Writes a setting's caption and passes its value to the state.
    void settingChanged(Setting setting);
    // Shows the six values as the state holds them now.
    void showSettings();
    // A value edited since the load or the last save is marked, its tooltip saying what it was.
    void markSetting(Setting setting);
    void markEditedRows();
    // The captions of a group whose file another program changed turn yellow, with a tip
    // of what the next save will do with it.
    void showDiskNotes();

    // Undo and redo (FormMainHistory.cpp): each edit made here or in the value editor is
    // recorded; undone or redone, its value is applied and the change shown where it is.
    void createShortcuts();
    void recordSetting(Setting setting, int was, int now);
    void rememberBeforeEditor();
    void recordEditorEdit();
    // False when the file has no such row any more.
    bool putBotName(int row, const std::string& name);
    // Sets the constant at this table index (or takes its edit back); its row, or -1 when
    // the file no longer binds it.
    int putScore(std::size_t table, bool edited, qint64 value);
    void showChange(QWidget* focus, QPoint at, const QString& text);
    void showRow(QListView* list, int row, const QString& text);
    FormEdit& editor();
    FormSave& saveWindow();
    void returnFromEditor(bool accepted);
    void returnFromSave(bool wrote);
    void askExit();
    static int selectedRow(const QListView* list);

    EditorState& state_;
    Dialogs& dialogs_;

    QPixmap background_;
    QPixmap pictureExit1_, pictureExit2_;  // pressed, released
    QPixmap pictureMini1_, pictureMini2_;
    PictureButton* pictureExit_ = nullptr;
    PictureButton* pictureMini_ = nullptr;
    PictureButton* pictureSave_ = nullptr;

    std::array<SettingControl, SettingCount> settings_;  // by slotOf

    StateListModel* botNamesModel_ = nullptr;
    StateListModel* scoresModel_ = nullptr;
    QListView* listBotNames_ = nullptr;
    QListView* listScores_ = nullptr;

    EditHistory* history_ = nullptr;
    ModFileWatcher* watch_ = nullptr;
    bool showing_ = false;  // showSettings is setting the controls: no edit of the user's
    // What the entry held as the value editor opened on it.
    std::string botNameWas_;
    bool scoreWasEdited_ = false;
    qint64 scoreWas_ = 0;

    std::unique_ptr<FormEdit> formEdit_;
    std::unique_ptr<FormSave> formSave_;
    bool placed_ = false;
    bool dragging_ = false;  // the left button went down on the window's own surface
};

}  // namespace tarsun
