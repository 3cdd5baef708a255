#pragma once

#include "Settings.h"
#include "files/basTavlo.h"
#include "listing/PreviewListModel.h"

#include <functional>
#include <vector>

struct RunCallbacks {
    std::function<void(double)> progress;        // i / n x 100 per row, 100 at the end
    std::function<void(const QString&)> message; // an attribute that was not set
};

struct RunReport {
    std::vector<PreviewRow> rows; // the preview rows with their outcomes, in row order
    int failed = 0;
};

// The attribute step on one file: each checked attribute is added to those the file
// has, in the order read-only, hidden, archive, system; each failure gives its message.
// True when every checked attribute was set.
bool ApplyAttributes(basTavlo::StampTarget& target, const AdvancedSettings& s,
                     const std::function<void(const QString&)>& message);

// The times the Advanced Settings page chooses, as UTC; unchecked ones stay unset.
basTavlo::TimesToSet ChosenTimes(const AdvancedSettings& s);
bool TimeStepWanted(const AdvancedSettings& s);

// Renames every row's file from its old to its new path and stamps it as the settings
// ask. Only rows the preview passed are tried, and only on the file the preview saw: a
// file already at its new path is stamped again, a path that now holds another file or
// none is left alone. Rows whose targets are held by files the plan moves away are
// renamed after those, cycles go through a temporary name and are undone whole if one of
// them can't move, and no existing file is ever replaced.
RunReport RenameFiles(const std::vector<PreviewRow>& rows, const AdvancedSettings& s,
                      const RunCallbacks& callbacks = {});
// What a run did, kept in memory to take it back: for every row that renamed or stamped
// its file, where it is in the run's rows (which hold the file's identity and its two
// paths), and, before the stamping steps touched it, what they can change. The rows are
// shared with the preview list rather than copied: 100,000 of them take 8 MB.
struct RunJournal {
    struct Entry {
        int row = 0;
        int before = -1;    // in snapshots, where the stamping steps ran
        bool moved = false; // renamed, not only stamped
    };
    SharedRows rows;         // not changed by the journal, nor, while it holds them, by others
    basTavlo::FileId folder; // the folder the run worked in
    bool attributes = false; // what the stamping steps changed, the same for every file
    bool times = false;
    std::vector<Entry> entries;                     // in row order
    std::vector<basTavlo::StampSnapshot> snapshots; // only stamped files need one
    bool empty() const { return entries.empty(); }
    const PreviewRow& rowOf(const Entry& e) const { return (*rows)[size_t(e.row)]; }
};

// The same on the rows themselves, which get their outcomes; gives the number that failed.
int RenameRows(std::vector<PreviewRow>& rows, const AdvancedSettings& s,
               const RunCallbacks& callbacks = {});
// With the identity of the folder the rows were planned in: where another folder stands at
// its path now, nothing is done and every row says so. With a journal, which keeps the rows
// and records what the run changed on disk: a run that changed nothing leaves it empty.
int RenameRows(const SharedRows& rows, const basTavlo::FileId& folder, const AdvancedSettings& s,
               const RunCallbacks& callbacks, RunJournal* journal);

// Takes a run back through the same engine: every file that still stands at its new path
// with its identity goes back to its old path (chains and cycles in a safe order, never
// replacing a file), and gets back the attributes and times the run changed. A file gone,
// replaced, or whose old name was taken meanwhile is left as it is. One row per entry, from
// the new path to the old one, with its outcome; gives them with the number not undone.
// A journal handed over whole (moved in) gives its rows to the report; none are copied.
RunReport UndoRun(RunJournal journal, const RunCallbacks& callbacks = {});

namespace run_testing {
// Runs hook on the run's look-up of files right after it looked up row i, before the run
// may move that row's file; an empty hook ends it.
void AfterLookUp(std::function<void(size_t row)> hook);
} // namespace run_testing
