#include "StateListModel.h"

namespace tarsun {

StateListModel::StateListModel(std::function<int()> count, std::function<QString(int row)> text,
                               QObject* parent, std::function<QString(int row)> tip)
    : QAbstractListModel(parent), count_(std::move(count)), text_(std::move(text)), tip_(std::move(tip)) {}

int StateListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant StateListModel::data(const QModelIndex& index, int role) const {
    // The row count is a snapshot; never read past what the state holds now.
    if (!index.isValid() || index.row() >= count_()) return {};
    if (role == Qt::DisplayRole) return text_(index.row());
    if (role == Qt::ToolTipRole) return tip_ ? tip_(index.row()) : text_(index.row());
    return {};
}

void StateListModel::reload() {
    beginResetModel();
    rows_ = count_();
    endResetModel();
}

void StateListModel::rowChanged(int row) {
    if (row < 0 || row >= rows_) return;
    const QModelIndex at = index(row);
    emit dataChanged(at, at);
}

void StateListModel::allChanged() {
    if (count_() != rows_) {
        reload();
        return;
    }
    if (rows_ > 0) emit dataChanged(index(0), index(rows_ - 1));
}

}  // namespace tarsun
