#include "RunSummary.h"
#include "PreviewDecoration.h"
#include "Readable.h"

#include "files/basTavlo.h"
#include "rename/RenameRun.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("frmTavlo", text);
}

} // namespace

RunSummary FailureSummary(const std::vector<PreviewRow>& rows, int failed, bool undo) {
    if (failed == 0)
        return {};
    if (!rows.empty() && rows.front().outcome == RowOutcome::FolderReplaced) {
        const QString folder = QDir::toNativeSeparators(basTavlo::FolderOf(rows.front().oldPath));
        return {(undo ? tr("Nothing was undone: the folder %1 is not the one the run renamed in. "
                           "It was moved or replaced since the run.")
                      : tr("Nothing was renamed: the folder %1 is not the one that was previewed. "
                           "It was moved or replaced since the preview; Refresh lists the folder "
                           "that is there now."))
                    .arg(folder),
                {}};
    }
    // A file left at a temporary name is always named; of the others, the first five. The
    // details name them all, with whole paths.
    QStringList temporary, lines, all;
    constexpr int kDetailLines = 1000;
    bool mayHaveReplaced = false;
    for (const PreviewRow& r : rows) {
        if (!r.failed())
            continue;
        mayHaveReplaced |= r.outcome == RowOutcome::RenamedMayHaveReplaced;
        const QString path = QDir::toNativeSeparators(r.oldPath);
        const QString reason = QLatin1String(": ") + PreviewDecoration::OutcomeText(r);
        const QString line = Readable::ElidedMiddle(path, 80) + reason;
        if (all.size() < kDetailLines)
            all << path + reason;
        else if (all.size() == kDetailLines)
            all << tr("...");
        if (r.temporary >= 0)
            temporary << line;
        else if (lines.size() < 5)
            lines << line;
        else if (lines.size() == 5)
            lines << tr("...");
    }
    // Only a volume that can't reserve a name may have let another program's file be replaced.
    const QString headline = mayHaveReplaced ? tr("%1 of %2 files did not get everything planned.")
                             : undo ? tr("%1 of %2 files could not be undone and were left as "
                                         "they are. No file was replaced.")
                                    : tr("%1 of %2 files did not get everything planned. No "
                                         "file was replaced.");
    return {headline.arg(failed).arg(rows.size()) + QLatin1String("\n\n") +
                (temporary + lines).join(QLatin1Char('\n')),
            all.join(QLatin1Char('\n'))};
}

QString RunDescription(const RunJournal& journal) {
    const QString folder =
        journal.rows && !journal.rows->empty()
            ? QDir::toNativeSeparators(basTavlo::FolderOf(journal.rows->front().oldPath))
            : QString();
    const qsizetype n = qsizetype(journal.entries.size());
    const QString files = n == 1 ? tr("1 file") : tr("%1 files").arg(n);
    return tr("the last run: %1 in %2").arg(files, Readable::ElidedMiddle(folder, 80));
}
