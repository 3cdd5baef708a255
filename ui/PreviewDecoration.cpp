#include "PreviewDecoration.h"
#include "listing/PreviewListModel.h"
#include "rename/Tags.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QStyle>

QString PreviewDecoration::StatusText(RowStatus status) {
    switch (status) {
    case RowStatus::Ok:
        return {};
    case RowStatus::EmptyName:
        return tr("The new name is empty.");
    case RowStatus::DotName:
        return tr("\".\" and \"..\" can't be file names.");
    case RowStatus::InvalidCharacter:
        return tr("The new name holds a character that file names can't hold, such as \"/\".");
    case RowStatus::ReservedName:
        return tr("Windows does not allow this name: it is kept for a device, such as CON or "
                  "NUL, or it ends in a dot or a space.");
    case RowStatus::NameTooLong:
        return tr("The new name is longer than the file system allows.");
    case RowStatus::DuplicateTarget:
        return tr("An earlier file in the preview gets the same new name.");
    case RowStatus::TargetExists:
        return tr("Another file already has this name.");
    case RowStatus::Unreadable:
        return tr("The file can't be read: it will not be renamed.");
    case RowStatus::BadSetting:
        return tr("The settings can't make names.");
    case RowStatus::MissingValue:
        return tr("A tag in the new name has no value for this file.");
    case RowStatus::NoDateTaken:
        return tr("No date taken in this file");
    case RowStatus::PatternTooSlow:
        return tr("The pattern takes too long on this name: it is not renamed.");
    }
    return {};
}

QString PreviewDecoration::StatusText(const PreviewRow& row) {
    if (row.status == RowStatus::MissingValue && row.missingTag)
        return tr("The tag %1 has no value for this file.").arg(FieldText::TagName(row.missingTag));
    return StatusText(row.status);
}

QString PreviewDecoration::ProblemText(const SettingsProblem& p) {
    QString field;
    switch (p.field) {
    case NameField::Prefix:
        field = tr("Add Prefix");
        break;
    case NameField::Suffix:
        field = tr("Add Suffix");
        break;
    case NameField::ReplaceString:
        field = tr("Replace string");
        break;
    case NameField::With:
        field = tr("with");
        break;
    case NameField::SeqPrefix:
        field = tr("the sequence's Add Prefix");
        break;
    case NameField::SeqSuffix:
        field = tr("the sequence's Add Suffix");
        break;
    case NameField::ChangeExtension:
        field = tr("Change extension to");
        break;
    case NameField::AppendExtension:
        field = tr("Append extension");
        break;
    }
    switch (p.kind) {
    case SettingsProblem::UnknownTag:
        return tr("Nothing is renamed: %1 in \"%2\" is not a tag ZOV knows.").arg(p.what, field);
    case SettingsProblem::BadArguments:
        return tr("Nothing is renamed: the tag %1 in \"%2\" can't be read after its name.")
            .arg(p.what, field);
    case SettingsProblem::Unclosed:
        return tr("Nothing is renamed: the tag %1 in \"%2\" has no closing \">\".")
            .arg(p.what, field);
    case SettingsProblem::BadPattern:
        return tr("Nothing is renamed: the pattern %1 in \"%2\" can't be read: %3, at position %4.")
            .arg(p.what, field, p.detail)
            .arg(p.position);
    case SettingsProblem::NoSuchGroup:
        return tr("Nothing is renamed: %1 in \"%2\" names a group the pattern does not have.")
            .arg(p.what, field);
    }
    return {};
}

QString PreviewDecoration::OutcomeText(RowOutcome outcome) {
    switch (outcome) {
    case RowOutcome::NotRun:
        return {};
    case RowOutcome::Renamed:
        return tr("Renamed.");
    case RowOutcome::Unchanged:
        return tr("Has this name.");
    case RowOutcome::AlreadyRenamed:
        return tr("Already renamed.");
    case RowOutcome::TargetExists:
        return tr("Not renamed: another file has this name.");
    case RowOutcome::DuplicateTarget:
        return tr("Not renamed: an earlier file took this name.");
    case RowOutcome::InvalidName:
        return tr("Not renamed: the new name is not a valid file name.");
    case RowOutcome::Unreadable:
        return tr("Not renamed: the file can't be read.");
    case RowOutcome::NotComposed:
        return tr("Not renamed: the settings gave it no name.");
    case RowOutcome::GoneOrReplaced:
        return tr("Not renamed: the file is gone or was replaced since the preview.");
    case RowOutcome::ChangedSinceRun:
        return tr("Not undone: the file is gone or was replaced since the run.");
    case RowOutcome::PermissionDenied:
        return tr("Not renamed: permission denied.");
    case RowOutcome::CycleNotRun:
        return tr("Not renamed: the files whose names go round with it could not all move, so "
                  "none did.");
    case RowOutcome::LeftAtTemporary:
        return tr("Not renamed: it could not be put back and now has the temporary name %1.");
    case RowOutcome::OtherFileMoved:
        return tr("Not renamed as planned: another program acted on these names during the "
                  "rename. Another file now has the new name, and this file is not there; "
                  "neither was moved back.");
    case RowOutcome::RenamedOldNameAside:
        return tr("Renamed. Another program put a file at the old name meanwhile; it could not "
                  "stay there and now has the temporary name %1.");
    case RowOutcome::RenamedMayHaveReplaced:
        return tr("Renamed, but another program took this volume's reservation of the new name "
                  "just before: a file it put there may have been replaced.");
    case RowOutcome::OtherFileAtTemporary:
        return tr("Not renamed: on its way round with other files, another program took it from "
                  "its temporary name and put another file there, at %1; nothing of that "
                  "program's was moved.");
    case RowOutcome::ChangedSincePreview:
        return tr("Not renamed: the file's size or change time differ from the preview's, and "
                  "this volume can't tell a changed file from a new one in its place.");
    case RowOutcome::FolderReplaced:
        return tr("Not renamed: another folder stands where the previewed folder was.");
    case RowOutcome::Failed:
        return tr("Not renamed.");
    }
    return {};
}

QString PreviewDecoration::OutcomeText(const PreviewRow& row) {
    QString text = row.outcome == RowOutcome::NotComposed
                       ? tr("Not renamed:") + QLatin1Char(' ') + StatusText(row)
                       : OutcomeText(row.outcome);
    if (row.temporary >= 0)
        text = text.arg(QDir::toNativeSeparators(row.nowAt()));
    if (row.timesNotSet)
        text += QLatin1Char(' ') + tr("The times were not set.");
    if (row.attributesNotSet)
        text += QLatin1Char(' ') + tr("The attributes were not all set.");
    return text;
}

// A name that begins with a dot is hidden on Linux, and the listing leaves it out; Windows
// hides by an attribute alone.
bool PreviewDecoration::HidesItsFile(const QString& newPath) {
#ifdef Q_OS_WIN
    Q_UNUSED(newPath);
    return false;
#else
    const qsizetype start = basTavlo::FileNameStart(newPath);
    return start < newPath.size() && newPath[start] == QLatin1Char('.');
#endif
}

void PreviewDecoration::setOutOfDate(bool outOfDate) {
    if (outOfDate == m_outOfDate)
        return;
    m_outOfDate = outOfDate;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::ForegroundRole, Qt::ToolTipRole});
}

QVariant PreviewDecoration::data(const QModelIndex& index, int role) const {
    if (role != Qt::ForegroundRole && role != Qt::ToolTipRole && role != Qt::DecorationRole &&
        role != Qt::AccessibleDescriptionRole)
        return QIdentityProxyModel::data(index, role);
    const auto status =
        RowStatus(QIdentityProxyModel::data(index, PreviewListModel::StatusRole).toInt());
    const auto outcome =
        RowOutcome(QIdentityProxyModel::data(index, PreviewListModel::OutcomeRole).toInt());
    const bool failed = QIdentityProxyModel::data(index, PreviewListModel::FailedRole).toBool();
    const bool problem = outcome == RowOutcome::NotRun ? status != RowStatus::Ok : failed;
    const bool hides = outcome == RowOutcome::NotRun && status == RowStatus::Ok &&
                       HidesItsFile(QIdentityProxyModel::data(index.siblingAtColumn(0)).toString());
    switch (role) {
    case Qt::ForegroundRole:
        return m_outOfDate      ? QVariant(QColor(150, 150, 150))
               : problem        ? QVariant(QColor(190, 0, 0))
               : hides          ? QVariant(QColor(170, 95, 0))
               : index.column() ? QVariant(QColor(100, 100, 100)) // the old name
                                : QVariant();
    case Qt::DecorationRole: // after a run: what the file got
        if (index.column() != 0 || outcome == RowOutcome::NotRun)
            return {};
        return QApplication::style()->standardIcon(failed ? QStyle::SP_MessageBoxWarning
                                                          : QStyle::SP_DialogApplyButton);
    case Qt::AccessibleDescriptionRole:
        return reason(index, status, outcome, hides);
    default:
        break;
    }
    // The old path beside the new one, and the reason where there is one.
    const QString why = reason(index, status, outcome, hides);
    QString tip =
        tr("From: %1")
            .arg(QDir::toNativeSeparators(
                QIdentityProxyModel::data(index.siblingAtColumn(1), Qt::DisplayRole).toString()));
    if (!why.isEmpty())
        tip += QLatin1Char('\n') + why;
    if (m_outOfDate)
        tip += QLatin1Char('\n') +
               tr("This preview is out of date: press Preview to see the new names.");
    return tip;
}

QString PreviewDecoration::reason(const QModelIndex& index, RowStatus status, RowOutcome outcome,
                                  bool hides) const {
    const auto* model = qobject_cast<const PreviewListModel*>(sourceModel());
    if (hides)
        return tr("The new name begins with a dot: the file will be hidden");
    if (outcome == RowOutcome::NotRun && status == RowStatus::BadSetting && model &&
        model->problem())
        return ProblemText(*model->problem());
    if (outcome == RowOutcome::NotRun)
        return model ? StatusText(model->row(mapToSource(index).row())) : StatusText(status);
    if (model)
        return OutcomeText(model->row(mapToSource(index).row()));
    return OutcomeText(outcome);
}
