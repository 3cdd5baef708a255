#pragma once

#include "files/Parallel.h"
#include "files/basTavlo.h"
#include "listing/PreviewListModel.h"

#include <QHash>

#include <vector>

// Rows by one of their paths, for plans of 100,000 rows: an open-addressed table of row
// numbers, a quarter of the room a hash of path copies takes; the paths stay in the rows.
// Where the folder folds case, paths that differ in case alone are one path.
class RowIndex {
public:
    RowIndex(const std::vector<PreviewRow>& rows, QString PreviewRow::*path, bool foldCase = false)
        : m_rows(rows), m_path(path), m_fold(foldCase) {
        size_t size = 16;
        while (size < rows.size() * 2)
            size *= 2;
        m_slots.assign(size, -1);
    }

    // Works out every row's key at once, over the cores, so that the inserts, one after
    // another in row order, only probe.
    void keyAll() {
        m_keys.resize(m_rows.size());
        ParallelFor(m_rows.size(), [&](size_t i) { m_keys[i] = keyOf(m_rows[i].*m_path); });
    }
    size_t key(int i) const {
        return m_keys.empty() ? keyOf(m_rows[size_t(i)].*m_path) : m_keys[size_t(i)];
    }

    // The row whose path this is, or -1; key, where given, is the path's key().
    int find(const QString& path) const { return m_slots[slotOf(path, keyOf(path))]; }
    int find(const QString& path, size_t key) const { return m_slots[slotOf(path, key)]; }
    // Adds row i unless a row with the same path is there already; gives the row that has it.
    int insert(int i) {
        int& slot = m_slots[slotOf(m_rows[size_t(i)].*m_path, key(i))];
        if (slot < 0)
            slot = i;
        return slot;
    }

private:
    size_t keyOf(const QString& path) const {
        return m_fold ? basTavlo::NameKey(path) : qHash(path);
    }
    size_t slotOf(const QString& path, size_t key) const {
        const size_t mask = m_slots.size() - 1;
        size_t s = key & mask;
        while (m_slots[s] >= 0 && !same(m_rows[size_t(m_slots[s])].*m_path, path))
            s = (s + 1) & mask;
        return s;
    }
    bool same(const QString& a, const QString& b) const {
        return m_fold ? a.compare(b, Qt::CaseInsensitive) == 0 : a == b;
    }

    const std::vector<PreviewRow>& m_rows;
    QString PreviewRow::*m_path;
    bool m_fold;
    std::vector<int> m_slots;
    std::vector<size_t> m_keys; // by row, where keyAll() worked them out
};

// The case rule of the rows' folder, asked of the first row whose file is there.
inline bool RowsFoldCase(const std::vector<PreviewRow>& rows) {
    for (const PreviewRow& r : rows)
        if (basTavlo::PathExists(r.oldPath))
            return basTavlo::FolderFoldsCase(r.oldPath);
    return false;
}
