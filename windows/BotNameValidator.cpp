#include "BotNameValidator.h"

#include "EditorState.h"

namespace tarsun {

BotNameValidator::BotNameValidator(const EditorState& state, QObject* parent)
    : QValidator(parent), state_(state), lastProblem_(NameProblem::None) {}

QValidator::State BotNameValidator::validate(QString& input, int&) const {
    const NameProblem problem = state_.checkBotName(input.toStdString());
    if (problem == NameProblem::None) return Acceptable;
    if (lenient_) return Intermediate;
    lastProblem_ = problem;
    return Invalid;
}

NameProblem BotNameValidator::takeProblem() {
    const NameProblem problem = lastProblem_;
    lastProblem_ = NameProblem::None;
    return problem;
}

}  // namespace tarsun
