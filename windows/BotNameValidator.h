#pragma once

// Keeps out of the bot-name field what the file could not hold as the user sees it: line
// breaks, control characters and characters the code page lacks. Typing and pasting both
// pass through it, so a refused paste leaves the field as it was.

#include <QValidator>

namespace tarsun {

class EditorState;
enum class NameProblem;

class BotNameValidator : public QValidator {
    Q_OBJECT
public:
    explicit BotNameValidator(const EditorState& state, QObject* parent = nullptr);

    State validate(QString& input, int& position) const override;

    // Lenient: a faulty text is let through as unfinished instead of refused, for a name
    // that was faulty when read, so that the user can still edit it.
    void setLenient(bool lenient) { lenient_ = lenient; }

    // Why the last text was refused (NameProblem::None if it was not); clears it.
    NameProblem takeProblem();

private:
    const EditorState& state_;
    bool lenient_ = false;
    mutable NameProblem lastProblem_;
};

}  // namespace tarsun
