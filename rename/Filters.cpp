#include "Filters.h"
#include "files/basTavlo.h"
#include "listing/CheckListModel.h"
#include "listing/FileLists.h"

QString AttributeSetText(bool readOnly, bool archive, bool system, bool hidden) {
    QString t;
    if (readOnly)
        t += u'R';
    if (archive)
        t += u'A';
    if (system)
        t += u'S';
    if (hidden)
        t += u'H';
    return t;
}

QString ExtensionKey(const QString& path) {
    // The file name's own extension, by the listing's rule, so that every listed file
    // meets its entry: a dot in the folder's path is no extension dot.
    return QLatin1String("*.") + ExtensionOf(basTavlo::FileNameOf(path));
}

FilterRun::FilterRun(const FilterSettings& settings, const CheckListModel& include,
                     const CheckListModel& exclude)
    : m_s(settings),
      m_wantedSet(AttributeSetText(IsOn(settings.chkFilterReadOnly),
                                   IsOn(settings.chkFilterArchive), IsOn(settings.chkFilterSystem),
                                   IsOn(settings.chkFilterHidden))) {
    for (int i = 0; i < include.count(); ++i)
        if (!m_include.contains(include.text(i))) // the first entry of a text decides
            m_include.insert(include.text(i), include.isChecked(i));
    for (int i = 0; i < exclude.count(); ++i)
        if (exclude.isChecked(i))
            m_exclude.insert(exclude.text(i), true);
}

namespace {

bool passesTime(const TimeFilterSettings& f, const basTavlo::DateTime& fileTime) {
    if (!IsOn(f.check))
        return true;
    switch (f.choice) {
    case 0:
        return fileTime < f.reference;
    case 1:
        return fileTime == f.reference;
    case 2:
        return fileTime > f.reference;
    default:
        return true;
    }
}

} // namespace

bool FilterRun::active() const {
    return needsDetails() || IsOn(m_s.chkFilterOnExtension);
}

bool FilterRun::needsDetails() const {
    return IsOn(m_s.chkFilterOnAttributes) || IsOn(m_s.chkFilterOnTimes);
}

bool FilterRun::PassesFilters(const QString& path, const basTavlo::FileDetails& d) const {
    if (IsOn(m_s.chkFilterOnAttributes)) {
        const bool equal =
            AttributeSetText(d.ReadOnly, d.Archive, d.System, d.Hidden) == m_wantedSet;
        if (m_s.cboIncludeExclude == 0 ? !equal : equal)
            return false;
    }
    if (IsOn(m_s.chkFilterOnTimes)) {
        if (!passesTime(m_s.creation, d.Created) || !passesTime(m_s.modified, d.Modified) ||
            !passesTime(m_s.lastAccessed, d.LastAccessed))
            return false;
    }
    if (IsOn(m_s.chkFilterOnExtension)) {
        const QString key = ExtensionKey(path);
        if (IsOn(m_s.chkInclude)) {
            const auto it = m_include.constFind(key);
            if (it != m_include.constEnd() && !it.value())
                return false;
        }
        if (IsOn(m_s.chkExclude) && m_exclude.contains(key))
            return false;
    }
    return true;
}
