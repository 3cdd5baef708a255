#pragma once

#include <QIdentityProxyModel>

enum class RowStatus;
enum class RowOutcome;

// Shows the preview rows' status: problems in red with the reason as a tooltip.
class PreviewDecoration : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    static QString StatusText(RowStatus status);
    static QString OutcomeText(RowOutcome outcome);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};
