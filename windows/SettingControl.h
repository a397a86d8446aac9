#pragma once

// One value of the main window as it stands there: its caption, the control that sets it
// (an arrow spinner for a percentage, a slider for the bots) and the red label that shows
// the number. The window's change handler calls showValue, which keeps the label in step
// with the control.

#include <QRect>

#include <functional>

class QLabel;
class QSlider;
class QWidget;

namespace tarsun {

class ArrowSpinner;
enum class Setting;

class SettingControl {
public:
    struct Place {
        Setting setting;
        const char* name;  // of the widgets: LabelL<name>, Label<name>, VScroll<name> or Slider<name>
        const char* caption;
        QRect captionAt, valueAt, controlAt;
        bool slider;
    };

    SettingControl() = default;
    // The control's typing points back at it.
    SettingControl(const SettingControl&) = delete;
    SettingControl& operator=(const SettingControl&) = delete;

    // The caption and the value label. The window makes all its labels before the first
    // control: a screen reader goes through them in that order.
    void createLabels(QWidget* window, const Place& place);
    // The control, named for a screen reader; `changed` follows each change of its value.
    void createControl(const std::function<void()>& changed);

    QWidget* control() const;
    QLabel* valueLabel() const { return value_; }
    int value() const;
    void setValue(int value);
    // Writes the control's value into the value label, and returns it.
    int showValue();

private:
    Place place_{};
    QWidget* window_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* value_ = nullptr;
    ArrowSpinner* spinner_ = nullptr;
    QSlider* slider_ = nullptr;
};

}  // namespace tarsun
