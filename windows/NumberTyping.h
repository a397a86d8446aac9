#pragma once

// Digits typed on a control set its value, as on a spin box: the first digit starts a new
// number, the next ones add to it, a minus sign may lead where the range goes below zero,
// and Backspace takes back the last one. A number outside the range is refused with a tip
// that gives the range, and the value stays. A pause of more than a second, or a change
// made otherwise (an arrow, a key), starts the next number afresh.

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace tarsun {

class NumberTyping : public QObject {
    Q_OBJECT
public:
    struct Target {
        std::function<qint64()> minimum, maximum, value;
        // Takes a typed number; `typed` is the text as typed so far ("-" before a digit).
        std::function<void(qint64 value, const QString& typed)> set;
        // Typing counts only while this holds (unset: always).
        std::function<bool()> active;
    };

    // Watches the key presses that reach `watched` (also those its children leave alone).
    NumberTyping(QWidget* watched, Target target);

    // The next key starts a new number.
    void reset() { typed_.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refuse(const QString& typed);

    QWidget* watched_;
    Target target_;
    QString typed_;
    qint64 lastSet_ = 0;
    QElapsedTimer sinceLast_;
};

}  // namespace tarsun
