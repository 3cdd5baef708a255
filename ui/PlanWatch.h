#pragma once

#include <QObject>

class CheckListModel;
class PreviewDecoration;
class PreviewListModel;
class QLabel;
class QWidget;

// Watches what a preview was made from: once a setting, a check mark or the list's order
// changes (a new folder empties the list), the preview list no longer shows the plan, and says so
// (greyed rows, the reason on its count label) until the next preview.
class PlanWatch : public QObject {
    Q_OBJECT
public:
    enum class Change { None, Setting, Mark, Order };

    PlanWatch(PreviewListModel& preview, PreviewDecoration& decoration, QLabel& count,
              QObject* parent);

    // Each field, box, option, list and picker on page is a setting of the preview.
    void watchSettings(const QWidget* page);
    void watchOriginalList(const CheckListModel& list);

    // The rows now say what a run did: they are its report, not a plan to be out of date.
    void ran();

    Change change() const { return m_change; }
    bool outOfDate() const { return m_change != Change::None; }
    QString reason() const;

private:
    void note(Change change);
    void show();

    PreviewListModel& m_preview;
    PreviewDecoration& m_decoration;
    QLabel& m_count;
    Change m_change = Change::None;
};
