#include "StateListModel.h"

#include "Look.h"
#include "PendingEdits.h"

#include <QColor>

namespace tarsun {

StateListModel::StateListModel(std::function<int()> count, std::function<QString(int row)> text,
                               QObject* parent, std::function<QString(int row)> tip)
    : QAbstractListModel(parent), count_(std::move(count)), text_(std::move(text)), tip_(std::move(tip)) {}

int StateListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant StateListModel::data(const QModelIndex& index, int role) const {
    // The row count is a snapshot; never read past what the state holds now.
    if (!index.isValid() || index.row() >= count_()) return {};
    const int row = index.row();
    if (role == Qt::DisplayRole) return text_(row);
    if (role == Qt::ToolTipRole) {
        const QString tip = tip_ ? tip_(row) : text_(row);
        const QString was = was_ ? was_(row) : QString();
        return was.isNull() ? tip : tip + "\n" + wasNote(was);
    }
    if (role == Qt::FontRole && marked(row)) return editedFont();
    if (role == Qt::ForegroundRole && marked(row)) return QColor::fromRgb(EditedRowColour);
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
