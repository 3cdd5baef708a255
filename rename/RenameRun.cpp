#include "RenameRun.h"

#include <QHash>

namespace {

struct AttributeRow {
    int AdvancedSettings::*box;
    quint32 bit;
    const char* message;
};

// The order of the page, not of the values.
constexpr AttributeRow kAttributes[] = {
    {&AdvancedSettings::chkReadOnly, basTavlo::AttrReadOnly, "ReadOnly Attribute NOT set."},
    {&AdvancedSettings::chkHidden, basTavlo::AttrHidden, "Hidden Attribute NOT set."},
    {&AdvancedSettings::chkArchive, basTavlo::AttrArchive, "Archive Attribute NOT set."},
    {&AdvancedSettings::chkSystem, basTavlo::AttrSystem, "System Attribute NOT set."},
};

RowOutcome outcomeOf(basTavlo::RenameError e) {
    switch (e) {
    case basTavlo::RenameError::None:
        return RowOutcome::Renamed;
    case basTavlo::RenameError::SourceMissing:
        return RowOutcome::SourceMissing;
    case basTavlo::RenameError::TargetExists:
        return RowOutcome::TargetExists;
    case basTavlo::RenameError::PermissionDenied:
        return RowOutcome::PermissionDenied;
    case basTavlo::RenameError::InvalidName:
        return RowOutcome::InvalidName;
    default:
        return RowOutcome::Failed;
    }
}

class Run {
public:
    Run(const std::vector<PreviewRow>& rows, const AdvancedSettings& s, const RunCallbacks& cb)
        : m_rows(rows), m_s(s), m_cb(cb), m_times(ChosenTimes(s)), m_done(rows.size(), false),
          m_onChain(rows.size(), false) {}

    RunReport go() {
        const int n = int(m_rows.size());
        for (int i = 0; i < n; ++i)
            if (attempted(i))
                m_byOld.insert(m_rows[size_t(i)].oldPath, i);
        std::vector<int> chain;
        for (int i = 0; i < n; ++i) {
            if (m_done[size_t(i)])
                continue;
            if (!attempted(i)) {
                finish(i, skippedOutcome(i));
                continue;
            }
            // Follow what holds each target until a free name, a row already done, or
            // back to the start (a cycle).
            chain.assign(1, i);
            m_onChain[size_t(i)] = true;
            int cycleTo = -1;
            for (int j = dependency(i); j >= 0 && !m_done[size_t(j)]; j = dependency(j)) {
                if (m_onChain[size_t(j)]) {
                    cycleTo = j;
                    break;
                }
                chain.push_back(j);
                m_onChain[size_t(j)] = true;
            }
            for (const int j : chain)
                m_onChain[size_t(j)] = false;
            if (cycleTo >= 0)
                renameCycle(chain);
            else
                for (auto it = chain.rbegin(); it != chain.rend(); ++it)
                    renameRow(*it);
        }
        if (m_cb.progress)
            m_cb.progress(100.0);
        RunReport report;
        report.rows = std::move(m_rows);
        for (const PreviewRow& r : report.rows)
            report.failed += r.failed() ? 1 : 0;
        return report;
    }

private:
    bool attempted(int i) const {
        const PreviewRow& r = m_rows[size_t(i)];
        return r.status == RowStatus::Ok || r.status == RowStatus::TargetExists;
    }

    RowOutcome skippedOutcome(int i) const {
        return m_rows[size_t(i)].status == RowStatus::DuplicateTarget ? RowOutcome::DuplicateTarget
                                                                      : RowOutcome::InvalidName;
    }

    // The row whose file holds row i's new path and moves away, or -1.
    int dependency(int i) const {
        const PreviewRow& r = m_rows[size_t(i)];
        if (r.newPath == r.oldPath)
            return -1;
        const auto it = m_byOld.constFind(r.newPath);
        return it == m_byOld.constEnd() ? -1 : it.value();
    }

    void renameRow(int i) {
        PreviewRow& r = m_rows[size_t(i)];
        if (r.newPath == r.oldPath) {
            finish(i, basTavlo::PathExists(r.oldPath) ? RowOutcome::Unchanged
                                                      : RowOutcome::SourceMissing);
            return;
        }
        finish(i, outcomeOf(basTavlo::RenameFile(r.oldPath, r.newPath)));
    }

    // a -> b -> ... -> a: the first file steps aside to a free temporary name that keeps
    // its own name in it, the others follow in reverse, and it takes its new name last.
    void renameCycle(const std::vector<int>& chain) {
        const int first = chain.front();
        PreviewRow& r = m_rows[size_t(first)];
        QString temp;
        basTavlo::RenameError e = basTavlo::RenameError::TargetExists;
        for (int k = 0; k < 1000 && e == basTavlo::RenameError::TargetExists; ++k) {
            temp = r.oldPath + QLatin1String(".zovtmp") + QString::number(k);
            e = basTavlo::RenameFile(r.oldPath, temp);
        }
        if (e != basTavlo::RenameError::None) {
            for (const int j : chain) // nobody can move: every target is still held
                finish(j, j == first ? outcomeOf(e) : RowOutcome::TargetExists);
            return;
        }
        for (auto it = chain.rbegin(); it + 1 != chain.rend(); ++it)
            renameRow(*it);
        e = basTavlo::RenameFile(temp, r.newPath);
        // Back to the old name if it is still free; else the file stays at the temporary
        // name, which holds its own name, and the row is reported as failed.
        if (e != basTavlo::RenameError::None)
            basTavlo::RenameFile(temp, r.oldPath);
        finish(first, outcomeOf(e));
    }

    void finish(int i, RowOutcome outcome) {
        PreviewRow& r = m_rows[size_t(i)];
        // A second run over the same rows: the file already stands at its new name.
        if (outcome == RowOutcome::SourceMissing && r.newPath != r.oldPath &&
            basTavlo::PathExists(r.newPath))
            outcome = RowOutcome::Unchanged;
        r.outcome = outcome;
        m_done[size_t(i)] = true;
        ++m_processed;
        if (m_cb.progress)
            m_cb.progress(double(m_processed) / double(m_rows.size()) * 100.0);
        // Stamp only the row's own file: never one that merely holds its new name.
        if (outcome != RowOutcome::Renamed && outcome != RowOutcome::Unchanged)
            return;
        if (TimeStepWanted(m_s))
            r.timesNotSet = !basTavlo::SetFileTimes(r.newPath, m_times).ok();
        if (IsOn(m_s.chkModifyAttributes))
            r.attributesNotSet = !ApplyAttributes(r.newPath, m_s, m_cb.message);
    }

    std::vector<PreviewRow> m_rows;
    const AdvancedSettings& m_s;
    const RunCallbacks& m_cb;
    const basTavlo::TimesToSet m_times;
    QHash<QString, int> m_byOld;
    std::vector<bool> m_done;
    std::vector<bool> m_onChain;
    int m_processed = 0;
};

} // namespace

bool ApplyAttributes(const QString& path, const AdvancedSettings& s,
                     const std::function<void(const QString&)>& message) {
    bool all = true;
    std::optional<quint32> current = basTavlo::GetAttributes(path);
    for (const AttributeRow& a : kAttributes) {
        if (!IsOn(s.*a.box))
            continue;
        const bool ok = current && basTavlo::SetAttributes(path, *current | a.bit);
        if (ok) {
            *current |= a.bit;
        } else {
            all = false;
            if (message)
                message(QString::fromLatin1(a.message));
        }
    }
    return all;
}

bool TimeStepWanted(const AdvancedSettings& s) {
    return IsOn(s.chkModifyDateTime) &&
           (IsOn(s.chkFileCreation) || IsOn(s.chkFileModified) || IsOn(s.chkFileLastAccessed));
}

basTavlo::TimesToSet ChosenTimes(const AdvancedSettings& s) {
    basTavlo::TimesToSet t;
    if (IsOn(s.chkFileCreation))
        t.creation = basTavlo::LocalToUtc(s.creation);
    if (IsOn(s.chkFileModified))
        t.lastWrite = basTavlo::LocalToUtc(s.modified);
    if (IsOn(s.chkFileLastAccessed))
        t.lastAccess = basTavlo::LocalToUtc(s.lastAccessed);
    return t;
}

RunReport RenameFiles(const std::vector<PreviewRow>& rows, const AdvancedSettings& s,
                      const RunCallbacks& callbacks) {
    basTavlo::RefreshLocalZone();
    return Run(rows, s, callbacks).go();
}
