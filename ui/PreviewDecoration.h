#pragma once

#include <QIdentityProxyModel>

enum class RowStatus : quint8;
enum class RowOutcome : quint8;
struct PreviewRow;
struct SettingsProblem;

// Shows the preview rows' status: problems in red, names that hide their file in a warning
// colour, with the reason as a tooltip; after a run, a mark of what each row's file got;
// every row greyed while the preview is out of date.
class PreviewDecoration : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    static QString StatusText(RowStatus status);
    // The status, with the tag that has no value where it names one.
    static QString StatusText(const PreviewRow& row);
    // Why the settings make no names: the tag or pattern, and the field it is in.
    static QString ProblemText(const SettingsProblem& problem);
    static QString OutcomeText(RowOutcome outcome);
    // The outcome with what the stamping did not do and where the file was left.
    static QString OutcomeText(const PreviewRow& row);
    // Whether the new name hides the file where it lies, though it is a valid name.
    static bool HidesItsFile(const QString& newPath);

    void setOutOfDate(bool outOfDate);
    bool outOfDate() const { return m_outOfDate; }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QString reason(const QModelIndex& index, RowStatus status, RowOutcome outcome,
                   bool hides) const;

    bool m_outOfDate = false;
};
