#include "FormMain.h"

// The main window's controls, where they stand, and its drawing: the window's look, apart
// from what it does (FormMain.cpp).

#include "EditorState.h"
#include "Look.h"
#include "PendingEdits.h"
#include "PictureButton.h"
#include "StateListModel.h"

#include <QLabel>
#include <QListView>
#include <QPainter>

#include <array>
#include <functional>
#include <span>

namespace tarsun {

namespace {

const QString ContactLine = QStringLiteral("tarsun@users.example");

// The six values in the window's order, the left group's four above the right group's two.
struct SettingRow {
    SettingControl::Place place;
    void (FormMain::*changed)();
};
const std::array<SettingRow, SettingCount> SettingRows{{
    {{Setting::SoldierFF, "SFD", "Soldier Friendly Damage:", twipsRect(240, 1560, 2175, 255),
      twipsRect(2640, 1560, 495, 255), twipsRect(3240, 1560, 255, 255), false},
     &FormMain::VScrollSFD_Change},
    {{Setting::VehicleFF, "VFD", "Vehicle Friendly Damage:", twipsRect(240, 1920, 2175, 255),
      twipsRect(2640, 1920, 495, 255), twipsRect(3240, 1920, 255, 255), false},
     &FormMain::VScrollVFD_Change},
    {{Setting::SoldierSplashFF, "SSD", "Soldier Splash Damage:", twipsRect(240, 2280, 2175, 255),
      twipsRect(2640, 2280, 495, 255), twipsRect(3240, 2280, 255, 255), false},
     &FormMain::VScrollSSD_Change},
    {{Setting::VehicleSplashFF, "VSD", "Vehicle Splash Damage:", twipsRect(240, 2640, 2175, 255),
      twipsRect(2640, 2640, 495, 255), twipsRect(3240, 2640, 255, 255), false},
     &FormMain::VScrollVSD_Change},
    {{Setting::BotSkill, "BotSkill", "Bot Skill:", twipsRect(3840, 1440, 855, 255), twipsRect(5640, 1440, 735, 255),
      twipsRect(3840, 1680, 2655, 495), true},
     &FormMain::SliderBotSkill_Change},
    {{Setting::MaxBots, "MaxBots", "Max Bots:", twipsRect(3840, 2280, 855, 255), twipsRect(5760, 2280, 615, 255),
      twipsRect(3840, 2520, 2655, 495), true},
     &FormMain::SliderMaxBots_Change},
}};

}  // namespace

void FormMain::createPictureButtons() {
    // The pictures come with the first showing (loadPictures).
    pictureMini_ = new PictureButton(QPixmap(), this);
    pictureMini_->setObjectName(QStringLiteral("PictureMini"));
    pictureMini_->move(twips(6240), twips(90));
    connect(pictureMini_, &PictureButton::mouseDown, this, &FormMain::PictureMini_MouseDown);
    connect(pictureMini_, &PictureButton::mouseUp, this, &FormMain::PictureMini_MouseUp);

    pictureExit_ = new PictureButton(QPixmap(), this);
    pictureExit_->setObjectName(QStringLiteral("PictureExit"));
    pictureExit_->move(twips(6480), twips(90));
    connect(pictureExit_, &PictureButton::mouseDown, this, &FormMain::PictureExit_MouseDown);
    connect(pictureExit_, &PictureButton::mouseUp, this, &FormMain::PictureExit_MouseUp);

    pictureSave_ = new PictureButton(QPixmap(), this);
    pictureSave_->setObjectName(QStringLiteral("PictureSave"));
    pictureSave_->move(twips(5145), twips(945));
    connect(pictureSave_, &PictureButton::clicked, this, &FormMain::PictureSave_Click);
}

void FormMain::loadPictures() {
    background_.load(QStringLiteral(":/assets/background.jpg"));
    pictureExit1_.load(QStringLiteral(":/assets/exit-pressed.jpg"));
    pictureExit2_.load(QStringLiteral(":/assets/exit-released.jpg"));
    pictureMini1_.load(QStringLiteral(":/assets/mini-pressed.jpg"));
    pictureMini2_.load(QStringLiteral(":/assets/mini-released.jpg"));
    pictureExit_->setPicture(pictureExit2_);
    pictureMini_->setPicture(pictureMini2_);
    pictureSave_->setPicture(QPixmap(QStringLiteral(":/assets/save.bmp")));
}

void FormMain::createLabels() {
    const auto caption = [this](const char* name, const char* text, QRect at, Qt::Alignment align = Qt::AlignLeft) {
        makeLabel(this, name, QString::fromLatin1(text), at, CaptionWhite, true, align);
    };
    makeLabel(this, "LabelEMAIL", ContactLine, twipsRect(3600, 120, 2175, 255), CaptionWhite, true,
              Qt::AlignHCenter);
    caption("LabelLSettings", "Settings", twipsRect(240, 1080, 855, 255), Qt::AlignHCenter);
    caption("LabelLBots", "Bots", twipsRect(3840, 1080, 615, 255), Qt::AlignHCenter);
    // Each group's labels top to bottom: the left group's settings and its list's caption,
    // then the right group's.
    const auto settingLabels = [this](std::span<const SettingRow> rows) {
        for (const SettingRow& row : rows) settings_[slotOf(row.place.setting)].createLabels(this, row.place);
    };
    settingLabels(std::span(SettingRows).first(4));
    caption("LabelLEditScores", "Edit Scores:", twipsRect(360, 3120, 1095, 255));
    settingLabels(std::span(SettingRows).subspan(4));
    caption("LabelLBotNames", "Bot Names:", twipsRect(3840, 3120, 1095, 255));
}

void FormMain::createSettingControls() {
    for (const SettingRow& row : SettingRows)
        settings_[slotOf(row.place.setting)].createControl(std::bind_front(row.changed, this));
}

QListView* FormMain::createList(const char* objectName, QRect geometry, StateListModel* model) {
    auto* list = new QListView(this);
    list->setObjectName(QString::fromLatin1(objectName));
    list->setGeometry(geometry);
    list->setModel(model);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is one line of the same face: the view need not measure 100,000 of them.
    list->setUniformItemSizes(true);
    showFocusFrame(list);
    return list;
}

void FormMain::createLists() {
    scoresModel_ = new StateListModel([this] { return static_cast<int>(state_.ListScores().size()); },
                                      [this](int row) {
                                          return QString::fromStdString(state_.ListScores()[row].Text);
                                      },
                                      this,
                                      [this](int row) {
                                          // A constant the editor leaves alone says why.
                                          const ScoreEntry& e = state_.ListScores()[row];
                                          return QString::fromStdString(
                                              e.Editable ? e.Text : e.Text + "\n" + notEditableNote(e));
                                      });
    botNamesModel_ = new StateListModel([this] { return static_cast<int>(state_.botCount()); },
                                        [this](int row) {
                                            return QString::fromStdString(state_.botName(static_cast<std::size_t>(row)));
                                        },
                                        this);
    listScores_ = createList("ListScores", twipsRect(240, 3360, 3255, 1815), scoresModel_);
    listBotNames_ = createList("ListBotNames", twipsRect(3840, 3360, 2655, 1815), botNamesModel_);
    connect(listScores_, &QListView::doubleClicked, this, &FormMain::ListScores_DblClick);
    connect(listBotNames_, &QListView::doubleClicked, this, &FormMain::ListBotNames_DblClick);
    listScores_->installEventFilter(this);
    listBotNames_->installEventFilter(this);
}

void FormMain::nameControls() {
    // What a screen reader says of each control; a caption is tied to the control it names.
    const auto name = [](QWidget* w, const QString& name, const QString& description = {}) {
        w->setAccessibleName(name);
        w->setAccessibleDescription(description);
    };
    name(pictureExit_, QStringLiteral("Exit"), QStringLiteral("Asks whether to end the program"));
    name(pictureMini_, QStringLiteral("Minimise"));
    name(pictureSave_, QStringLiteral("Save"), QStringLiteral("Opens the save window (Ctrl+S)"));
    const QString opens = QStringLiteral("Enter or a double-click opens the selected %1 in the value editor");
    name(listBotNames_, QStringLiteral("Bot Names"), opens.arg(QStringLiteral("name")));
    name(listScores_, QStringLiteral("Edit Scores"), opens.arg(QStringLiteral("constant")));
    findChild<QLabel*>(QStringLiteral("LabelLBotNames"))->setBuddy(listBotNames_);
    findChild<QLabel*>(QStringLiteral("LabelLEditScores"))->setBuddy(listScores_);
}

void FormMain::orderFocus() {
    const auto at = [this](Setting s) { return settings_[slotOf(s)].control(); };
    const std::array<QWidget*, 8> order{listBotNames_, at(Setting::MaxBots), at(Setting::BotSkill),
                                        at(Setting::SoldierFF), at(Setting::VehicleFF), at(Setting::SoldierSplashFF),
                                        at(Setting::VehicleSplashFF), listScores_};
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void FormMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawPixmap(0, 0, background_);  // unscaled; what lies beyond the window is cut off

    painter.setPen(QColor::fromRgb(CaptionWhite));
    const auto line = [&painter](int x1, int y1, int x2, int y2) {
        painter.drawLine(twips(x1), twips(y1), twips(x2), twips(y2));
    };
    // A group's frame, open at the top between gapLeft and gapRight for its heading.
    const auto groupFrame = [&line](int left, int right, int gapLeft, int gapRight) {
        line(left, 1200, left, 5280);
        line(left, 5280, right, 5280);
        line(right, 5280, right, 1200);
        line(left, 1200, gapLeft, 1200);
        line(gapRight, 1200, right, 1200);
    };
    groupFrame(120, 3600, 240, 1080);
    groupFrame(3720, 6600, 3840, 4440);
    // Around the save button; the right group's top edge closes it.
    line(5130, 930, 6585, 930);
    line(5130, 930, 5130, 1200);
    line(6600, 915, 6600, 1200);

    // The black edge, two pixels thick.
    const int w = width(), h = height();
    painter.fillRect(0, 0, w, 2, Qt::black);
    painter.fillRect(0, h - 2, w, 2, Qt::black);
    painter.fillRect(0, 0, 2, h, Qt::black);
    painter.fillRect(w - 2, 0, 2, h, Qt::black);
}

}  // namespace tarsun
