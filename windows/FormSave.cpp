#include "FormSave.h"

#include "Dialogs.h"
#include "EditorState.h"
#include "Look.h"
#include "PendingEdits.h"
#include "ReplaceProtocol.h"

#include <QCheckBox>
#include <QFile>
#include <QPainter>
#include <QPushButton>

#include <array>

namespace tarsun {

namespace {

// A click anywhere on the box's control ticks it, not only on the mark and the caption.
class WholeCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& position) const override { return rect().contains(position); }
    // The focus as a dotted white frame, which every style shows on the black window.
    void paintEvent(QPaintEvent* event) override {
        QCheckBox::paintEvent(event);
        drawFocusFrame(this, QPalette::WindowText);
    }
};

QCheckBox* makeCheck(QWidget* parent, const char* objectName, const QString& caption, int top) {
    auto* check = new WholeCheckBox(caption, parent);
    check->setObjectName(QString::fromLatin1(objectName));
    check->setGeometry(twipsRect(120, top, 2415, 255));
    check->setFont(labelFont(true));
    check->setChecked(true);
    return check;
}

}  // namespace

FormSave::FormSave(EditorState& state, Dialogs& dialogs, QWidget* parent)
    : SmallWindow(2655, 2295, parent), state_(state), dialogs_(dialogs) {
    setObjectName(QStringLiteral("FormSave"));
    QWidget* area = client();

    makeLabel(area, "LabelLSave", QStringLiteral("Save:"), twipsRect(120, 120, 615, 255), CaptionWhite, true);
    checkFF_ = makeCheck(area, "CheckFF", QStringLiteral("Friendly Fire"), 480);
    checkScore_ = makeCheck(area, "CheckScore", QStringLiteral("Score List"), 840);
    // Doubled, the ampersand is shown as one instead of marking a keyboard mnemonic.
    checkBots_ = makeCheck(area, "CheckBots", QStringLiteral("Max Bots && Bot Skill"), 1200);
    checkBotNames_ = makeCheck(area, "CheckBotNames", QStringLiteral("Bot Names"), 1560);

    auto* commandSave = makeButton(area, "CommandSave", QStringLiteral("Save"), twipsRect(1440, 1920, 1095, 255));
    auto* commandCancel =
        makeButton(area, "CommandCancel", QStringLiteral("Cancel"), twipsRect(120, 1920, 1095, 255));
    connect(commandSave, &QPushButton::clicked, this, &FormSave::CommandSave_Click);
    connect(commandCancel, &QPushButton::clicked, this, &FormSave::CommandCancel_Click);

    QWidget::setTabOrder(checkFF_, checkScore_);
    QWidget::setTabOrder(checkScore_, checkBots_);
    QWidget::setTabOrder(checkBots_, checkBotNames_);
    QWidget::setTabOrder(checkBotNames_, commandSave);
    QWidget::setTabOrder(commandSave, commandCancel);
}

void FormSave::showEvent(QShowEvent* event) {
    // Each box's tip lists what its group will write, as the edits stand at this opening.
    const std::array<QCheckBox*, 4> boxes{checkFF_, checkScore_, checkBots_, checkBotNames_};
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setToolTip(describeEdits(pendingEdits(state_, AllSaveGroups[i])));
    SmallWindow::showEvent(event);
}

QString FormSave::describeEdits(QStringList edits) {
    if (edits.isEmpty()) return QStringLiteral("No changes.");
    // A tip taller than the screen helps nobody: the first ones, and how many more.
    constexpr qsizetype Shown = 20;
    const qsizetype more = edits.size() - Shown;
    if (more > 0) {
        edits.resize(Shown);
        edits << QStringLiteral("and %1 more").arg(more);
    }
    return QStringLiteral("Will write:\n") + edits.join('\n');
}

SaveGroups FormSave::groups() const {
    return SaveGroups{checkFF_->isChecked(), checkScore_->isChecked(), checkBots_->isChecked(),
                      checkBotNames_->isChecked()};
}

void FormSave::CommandSave_Click() {
    const bool yes = dialogs_.askYesNo(this, QStringLiteral("Save?"));
    state_.Answer = yes ? AnswerYes : AnswerNo;
    if (!yes) return;

    const SaveResult result = SaveModSettings(state_, groups(), replace_);
    if (result.missingFile)
        dialogs_.showError(this, QStringLiteral("File not found! No data saved."));
    else if (!result.failures.empty())
        reportFailures(result);
    for (const SaveResult::Failure& failure : result.failures)
        if (failure.changedElsewhere) offerTheirs(failure);
    // Whatever the writer did, the main window returns with every edit still in place.
    hide();
    emit finished(true);
}

void FormSave::reportFailures(const SaveResult& result) {
    QString text = QStringLiteral("These files were not saved:\n");
    bool changedElsewhere = false;
    for (const SaveResult::Failure& failure : result.failures) {
        text += QStringLiteral("\n%1\n    %2\n    %3\n")
                    .arg(QString::fromStdString(modFileDisplayName(failure.file)), toText(failure.path),
                         QString::fromStdString(failure.reason));
        changedElsewhere = changedElsewhere || failure.changedElsewhere;
    }
    if (changedElsewhere)
        text += QStringLiteral("\nA file that another program changed is left as that program wrote it.");
    text += QStringLiteral("\nThe other ticked groups were saved. Your edits are kept, so you can try again.");
    dialogs_.showError(this, text);
}

void FormSave::offerTheirs(const SaveResult::Failure& failure) {
    // Nothing of the other program's is taken unless the user says so; then the edits it
    // did not touch stay, for the next save to write over its version.
    const QString name = QString::fromStdString(modFileDisplayName(failure.file));
    if (!dialogs_.askYesNo(this, QStringLiteral("Take %1 as the other program left it, and keep your other edits in it?").arg(name),
                           QStringLiteral("Where that program changed a value you edited, its value is taken. The "
                                          "next save writes the edits you keep.")))
        return;
    Expected<FileBytes> current = readModFile(failure.path);
    if (!current) {
        dialogs_.showError(this, name + QStringLiteral(" cannot be read: ") + QString::fromStdString(current.reason()));
        return;
    }
    state_.takeChangedFile(failure.file, std::move(*current));
}

void FormSave::CommandCancel_Click() {
    hide();
    emit finished(false);
}

void FormSave::closeRequested() { CommandCancel_Click(); }

}  // namespace tarsun
