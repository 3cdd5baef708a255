#include "PreviewListModel.h"

static_assert(sizeof(void*) != 8 || sizeof(PreviewRow) <= 80, "a row per file: keep it small");

void PreviewListModel::clear() {
    if (m_rows->empty())
        return;
    beginResetModel();
    m_rows = std::make_shared<std::vector<PreviewRow>>(); // its room goes unless shared
    m_folder = {};
    m_problem.reset();
    endResetModel();
}

void PreviewListModel::setRows(std::vector<PreviewRow> rows, const basTavlo::FileId& folder,
                               std::optional<SettingsProblem> problem) {
    beginResetModel();
    m_rows = std::make_shared<std::vector<PreviewRow>>(std::move(rows));
    m_folder = folder;
    m_problem = std::move(problem);
    endResetModel();
}

int PreviewListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int PreviewListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant PreviewListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    const PreviewRow& r = (*m_rows)[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? r.newPath : r.oldPath;
    case StatusRole:
        return int(r.status);
    case OutcomeRole:
        return int(r.outcome);
    case FailedRole:
        return r.failed();
    default:
        return {};
    }
}
