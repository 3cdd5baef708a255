#pragma once

#include "listing/PreviewListModel.h"

#include <QString>

#include <vector>

struct RunJournal;

// The summary shown after a run (or an undo) with failures, with long paths shortened, and
// its details with every path whole; empty when every row went well.
struct RunSummary {
    QString text;
    QString details;
};
RunSummary FailureSummary(const std::vector<PreviewRow>& rows, int failed, bool undo = false);

// What Undo would take back: how many files, in which folder.
QString RunDescription(const RunJournal& journal);
