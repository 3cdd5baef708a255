#pragma once

#include <QIdentityProxyModel>

enum class RowStatus : quint8;
enum class RowOutcome : quint8;
struct PreviewRow;

// Shows the preview rows' status: problems in red with the reason as a tooltip.
class PreviewDecoration : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    static QString StatusText(RowStatus status);
    static QString OutcomeText(RowOutcome outcome);
    // The outcome with what the stamping did not do and where the file was left.
    static QString OutcomeText(const PreviewRow& row);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};
