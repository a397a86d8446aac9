#pragma once

// One of the editor state's lists as the main window shows it. Rows are read from the
// state when they are drawn rather than copied, so a list of 100,000 bot names opens at
// once and an edit in the state shows as soon as its row is repainted.

#include <QAbstractListModel>

#include <functional>

namespace tarsun {

class StateListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // A row's tooltip is its text unless `tip` gives one.
    StateListModel(std::function<int()> count, std::function<QString(int row)> text,
                   QObject* parent = nullptr, std::function<QString(int row)> tip = {});

    // Rows edited since the load or the last save are drawn marked, their tooltip saying
    // what they held: `was` gives that, or null text for a row as the file holds it.
    void setWas(std::function<QString(int row)> was) { was_ = std::move(was); }
    bool marked(int row) const { return was_ && !was_(row).isNull(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Takes the state's list afresh: after a load.
    void reload();
    // One entry was replaced in place.
    void rowChanged(int row);
    // Every entry may have been replaced (after a save); the count is taken afresh only
    // if it changed.
    void allChanged();

private:
    std::function<int()> count_;
    std::function<QString(int)> text_;
    std::function<QString(int)> tip_;
    std::function<QString(int)> was_;
    int rows_ = 0;
};

}  // namespace tarsun
