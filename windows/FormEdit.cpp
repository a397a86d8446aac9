#include "FormEdit.h"

#include "ArrowSpinner.h"
#include "BotNameValidator.h"
#include "Dialogs.h"
#include "EditorState.h"
#include "Look.h"
#include "NamedValues.h"
#include "NumberTyping.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>

#include <algorithm>

namespace tarsun {

FormEdit::FormEdit(EditorState& state, Dialogs& dialogs, QWidget* parent)
    : SmallWindow(2895, 1215, parent), state_(state), dialogs_(dialogs) {
    setObjectName(QStringLiteral("FormEdit"));
    QWidget* area = client();

    labelLEditing_ = makeLabel(area, "LabelLEditing", QStringLiteral("Editing "), twipsRect(120, 120, 2295, 255),
                               CaptionWhite, true);

    textBotName_ = new QLineEdit(area);
    textBotName_->setObjectName(QStringLiteral("TextBotName"));
    textBotName_->setGeometry(twipsRect(120, 480, 2655, 285));
    textBotName_->setMaxLength(BotNameLength);
    validator_ = new BotNameValidator(state_, textBotName_);
    textBotName_->setValidator(validator_);
    connect(textBotName_, &QLineEdit::inputRejected, this, &FormEdit::showRefusal);

    labelLScore_ = makeLabel(area, "LabelLScore", QStringLiteral("NULL"), twipsRect(120, 480, 2055, 255),
                             CaptionWhite, false);
    labelScore_ = makeLabel(area, "LabelScore", QStringLiteral("0"), twipsRect(1920, 480, 495, 255), ValueRed,
                            true, Qt::AlignRight);

    vScrollNum_ = new ArrowSpinner(area);
    vScrollNum_->setObjectName(QStringLiteral("VScrollNum"));
    vScrollNum_->setGeometry(twipsRect(2520, 480, 255, 255));
    vScrollNum_->setRange(ScoreMinimum, ScoreMaximum);
    connect(vScrollNum_, &ArrowSpinner::valueChanged, this, &FormEdit::VScrollNum_Change);

    commandAccept_ = makeButton(area, "CommandAccept", QStringLiteral("Accept"), twipsRect(1680, 840, 1095, 255));
    commandCancel_ = makeButton(area, "CommandCancel", QStringLiteral("Cancel"), twipsRect(120, 840, 1095, 255));
    connect(commandAccept_, &QPushButton::clicked, this, &FormEdit::CommandAccept_Click);
    connect(commandCancel_, &QPushButton::clicked, this, &FormEdit::CommandCancel_Click);

    textBotName_->setAccessibleName(QStringLiteral("Bot name"));
    vScrollNum_->setAccessibleName(QStringLiteral("Score value"));
    vScrollNum_->setAccessibleDescription(
        QStringLiteral("From -200 to 200 (wider for a value the file holds beyond); type a number, or step with "
                       "the arrow keys (the upper arrow lowers)"));
    labelLScore_->setBuddy(vScrollNum_);
    labelScore_->setAccessibleDescription(QStringLiteral("Score value"));

    // A score can be typed too, whichever of the editor's controls has the focus.
    new NumberTyping(this, {[this] { return vScrollNum_->minimum(); }, [this] { return vScrollNum_->maximum(); },
                            [this] { return vScrollNum_->value(); },
                            [this](qint64 value, const QString& typed) {
                                vScrollNum_->setValue(value);
                                moved_ = moved_ || typed != QStringLiteral("-");
                                labelScore_->setText(typed);
                            },
                            [this] { return state_.EditMode == 0 && vScrollNum_->isEnabled(); }});

    QWidget::setTabOrder(textBotName_, commandAccept_);
    QWidget::setTabOrder(commandAccept_, commandCancel_);
    QWidget::setTabOrder(commandCancel_, vScrollNum_);
}

void FormEdit::prepareBotName(int row) {
    state_.EditMode = -1;
    state_.EditIndex = row;
    labelLEditing_->setText(QStringLiteral("Editing Bot Name: "));

    const QString name = QString::fromStdString(state_.botName(static_cast<std::size_t>(row)));
    // A longer name read from the file is shown whole, never cut to fit.
    textBotName_->setMaxLength(std::max(BotNameLength, static_cast<int>(name.size())));
    textBotName_->setText(name);
    // A name the file already held with a character the field refuses can still be
    // edited; Accept then says what is wrong with it.
    validator_->setLenient(state_.checkBotName(name.toStdString()) != NameProblem::None);
    textBotName_->setVisible(true);

    vScrollNum_->setVisible(false);
    labelLScore_->setVisible(false);
    labelScore_->setVisible(false);
    commandAccept_->setEnabled(true);
    textBotName_->setFocus();
}

void FormEdit::prepareScore(int row) {
    state_.EditMode = 0;
    state_.EditIndex = row;
    const ScoreEntry& entry = state_.ListScores().at(static_cast<std::size_t>(row));
    const qint64 value = state_.ScoreValues[entry.Index];

    labelLEditing_->setText(QStringLiteral("Editing Score: "));
    textBotName_->setVisible(false);
    textBotName_->setMaxLength(BotNameLength);
    textBotName_->clear();

    const QString name = QString::fromStdString(state_.ScoreNames[entry.Index]);
    labelLScore_->setText(name);
    const QString note = QString::fromStdString(entry.Editable ? std::string() : notEditableNote(entry));
    labelLScore_->setToolTip(entry.Editable ? name : name + "\n" + note);
    // A value the file holds beyond the usual span widens it, so that stepping starts
    // from the real value and nothing is clamped unless the user steps.
    const ValueRange range = scoreRange(value);
    vScrollNum_->setRange(range.minimum, range.maximum);
    vScrollNum_->setValue(value);
    moved_ = false;
    // Until the user steps, a value the number cannot show exactly (-0.5, 2 * 3) shows as
    // the file holds it; one that cannot be edited here, as a dash. Set at every opening:
    // a spinner already at the value sends no change.
    const std::string_view held = state_.TextScore.valueText(entry);
    if (!entry.Editable) labelScore_->setText(QStringLiteral("\u2014"));
    else if (!entry.Literal && !entry.Edited) labelScore_->setText(QString::fromStdString(state_.codePage().decode(held)).simplified());
    else labelScore_->setText(QString::number(value));
    labelScore_->setToolTip(note);
    vScrollNum_->setEnabled(entry.Editable);
    commandAccept_->setEnabled(entry.Editable);

    vScrollNum_->setVisible(true);
    labelLScore_->setVisible(true);
    labelScore_->setVisible(true);
    (entry.Editable ? commandAccept_ : commandCancel_)->setFocus();
}

void FormEdit::VScrollNum_Change() {
    moved_ = true;
    labelScore_->setText(QString::number(vScrollNum_->value()));
}

void FormEdit::CommandAccept_Click() {
    if (state_.EditMode == -1) {
        const auto entry = static_cast<std::size_t>(state_.EditIndex);
        const std::string name = textBotName_->text().toStdString();
        if (name != state_.botName(entry)) {
            const NameProblem problem = state_.setBotName(entry, name);
            if (problem != NameProblem::None) {
                // The editor stays open with the text as typed.
                dialogs_.showError(this, QString::fromStdString(describe(problem)));
                return;
            }
        }
    } else if (moved_) {
        // Accept without a step is no edit, whatever form the value has in the file.
        state_.setScoreValue(static_cast<std::size_t>(state_.EditIndex), vScrollNum_->value());
    }
    hide();
    emit finished(true);
}

void FormEdit::CommandCancel_Click() {
    hide();
    emit finished(false);
}

void FormEdit::closeRequested() { CommandCancel_Click(); }

void FormEdit::showRefusal() {
    const NameProblem problem = validator_->takeProblem();
    const QString why = problem == NameProblem::None
                            ? QStringLiteral("A bot name holds at most %1 characters.").arg(textBotName_->maxLength())
                            : QString::fromStdString(describe(problem));
    QToolTip::showText(textBotName_->mapToGlobal(QPoint(0, textBotName_->height())), why, textBotName_);
}

}  // namespace tarsun
