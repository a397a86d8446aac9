#include "SettingControl.h"

#include "ArrowSpinner.h"
#include "Look.h"
#include "ModTables.h"
#include "NumberTyping.h"
#include "PendingEdits.h"

#include <QLabel>
#include <QSlider>

namespace tarsun {

namespace {

// The style marks a focused slider too faintly to be seen on the background picture: a
// dotted frame in the selection colour says where the keys go.
class FocusSlider : public QSlider {
public:
    using QSlider::QSlider;

protected:
    void paintEvent(QPaintEvent* event) override {
        QSlider::paintEvent(event);
        drawFocusFrame(this, QPalette::Highlight);
    }
};

}  // namespace

void SettingControl::createLabels(QWidget* window, const Place& place) {
    window_ = window;
    place_ = place;
    caption_ = makeLabel(window, ("LabelL" + QByteArray(place.name)).constData(), QString::fromLatin1(place.caption),
                         place.captionAt, CaptionWhite, true);
    value_ = makeLabel(window, ("Label" + QByteArray(place.name)).constData(), QStringLiteral("0"), place.valueAt,
                       ValueRed, true, Qt::AlignRight);
}

void SettingControl::createControl(const std::function<void()>& changed) {
    const SettingInfo& range = settingInfo(place_.setting);
    if (place_.slider) {
        slider_ = new FocusSlider(Qt::Horizontal, window_);
        slider_->setObjectName(QStringLiteral("Slider") + QLatin1String(place_.name));
        slider_->setGeometry(place_.controlAt);
        slider_->setRange(range.minimum, range.maximum);
        slider_->setSingleStep(1);
        slider_->setPageStep(5);
        slider_->setTickInterval(10);
        slider_->setTickPosition(QSlider::TicksBelow);
        // Only the settled value counts, not every position the thumb passes while dragged.
        slider_->setTracking(false);
    } else {
        spinner_ = new ArrowSpinner(window_);
        spinner_->setObjectName(QStringLiteral("VScroll") + QLatin1String(place_.name));
        spinner_->setGeometry(place_.controlAt);
        spinner_->setRange(range.minimum, range.maximum);
    }
    QWidget* widget = control();
    new NumberTyping(widget, {[min = range.minimum] { return qint64(min); }, [max = range.maximum] { return qint64(max); },
                              [this] { return qint64(value()); },
                              [this](qint64 typed, const QString&) { setValue(int(typed)); }, {}});
    widget->setAccessibleName(settingName(place_.setting));
    widget->setAccessibleDescription(
        QStringLiteral("From %1 to %2; type a number, or step with the arrow keys%3")
            .arg(range.minimum)
            .arg(range.maximum)
            .arg(slider_ ? QStringLiteral(", Page Up and Down by 5") : QStringLiteral(" (the upper arrow lowers)")));
    value_->setAccessibleDescription(settingName(place_.setting));
    caption_->setBuddy(widget);
    // Connected last: setting the range may move the value, which is no edit of the user's.
    if (slider_)
        QObject::connect(slider_, &QSlider::valueChanged, window_, changed);
    else
        QObject::connect(spinner_, &ArrowSpinner::valueChanged, window_, changed);
}

QWidget* SettingControl::control() const { return spinner_ ? static_cast<QWidget*>(spinner_) : slider_; }

int SettingControl::value() const { return spinner_ ? static_cast<int>(spinner_->value()) : slider_->value(); }

void SettingControl::setValue(int value) {
    if (spinner_)
        spinner_->setValue(value);
    else
        slider_->setValue(value);
}

int SettingControl::showValue() {
    const int shown = value();
    value_->setText(QString::number(shown));
    return shown;
}

}  // namespace tarsun
