#include "PlanWatch.h"
#include "PreviewDecoration.h"

#include "listing/CheckListModel.h"
#include "listing/PreviewListModel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListView>

PlanWatch::PlanWatch(PreviewListModel& preview, PreviewDecoration& decoration, QLabel& count,
                     QObject* parent)
    : QObject(parent), m_preview(preview), m_decoration(decoration), m_count(count) {
    // A new preview, or none, is the plan again.
    connect(&m_preview, &QAbstractItemModel::modelReset, this, &PlanWatch::ran);
}

void PlanWatch::watchSettings(const QWidget* page) {
    auto setting = [this] { note(Change::Setting); };
    for (const QLineEdit* e : page->findChildren<QLineEdit*>())
        connect(e, &QLineEdit::textChanged, this, setting);
    for (const QCheckBox* b : page->findChildren<QCheckBox*>())
        connect(b, &QCheckBox::stateChanged, this, setting);
    for (const QAbstractButton* b : page->findChildren<QAbstractButton*>())
        if (!qobject_cast<const QCheckBox*>(b))
            connect(b, &QAbstractButton::toggled, this, setting);
    for (const QComboBox* c : page->findChildren<QComboBox*>())
        connect(c, &QComboBox::currentIndexChanged, this, setting);
    for (const QDateTimeEdit* d : page->findChildren<QDateTimeEdit*>())
        connect(d, &QDateTimeEdit::dateTimeChanged, this, setting);
    for (const QListView* l : page->findChildren<QListView*>())
        connect(l->model(), &QAbstractItemModel::dataChanged, this, setting);
}

void PlanWatch::watchOriginalList(const CheckListModel& list) {
    connect(&list, &CheckListModel::markChanged, this, [this] { note(Change::Mark); });
    // Up and Down exchange two rows' texts; a sort puts them all in another order.
    connect(&list, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::DisplayRole))
                    note(Change::Order);
            });
    connect(&list, &QAbstractItemModel::modelReset, this, [this] { note(Change::Order); });
}

void PlanWatch::ran() {
    m_change = Change::None;
    show();
}

QString PlanWatch::reason() const {
    switch (m_change) {
    case Change::None:
        return {};
    case Change::Setting:
        return tr("Out of date: a setting changed since this preview. Press Preview to see "
                  "the new names.");
    case Change::Mark:
        return tr("Out of date: a check mark changed since this preview. Press Preview to see "
                  "the new names.");
    case Change::Order:
        return tr("Out of date: the list's order changed since this preview. Press Preview to "
                  "see the new names.");
    }
    return {};
}

void PlanWatch::note(Change change) {
    // The first change is the one that counts; an empty list shows no plan to be out of.
    if (m_change != Change::None || m_preview.count() == 0)
        return;
    m_change = change;
    show();
}

void PlanWatch::show() {
    m_decoration.setOutOfDate(outOfDate());
    m_count.setToolTip(reason());
}
