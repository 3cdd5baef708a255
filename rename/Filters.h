#pragma once

#include "Settings.h"
#include "files/basTavlo.h"

#include <QHash>
#include <QString>

class CheckListModel;

// "RASH": the letters of the attributes that are set, in that order.
QString AttributeSetText(bool readOnly, bool archive, bool system, bool hidden);

// "*." and the text after the last "." of the path, or the whole path without a dot.
QString ExtensionKey(const QString& path);

// The filters of one preview run: the settings and the first entry of each extension
// text in the include and exclude lists, looked up once.
class FilterRun {
public:
    FilterRun(const FilterSettings& settings, const CheckListModel& include,
              const CheckListModel& exclude);

    bool PassesFilters(const QString& path, const basTavlo::FileDetails& details) const;
    // Whether any filter is on, and whether one of them reads the attributes or times.
    bool active() const;
    bool needsDetails() const;

private:
    FilterSettings m_s;
    QString m_wantedSet;
    QHash<QString, bool> m_include; // key -> first matching entry is checked
    QHash<QString, bool> m_exclude; // key -> some matching entry is checked
};
