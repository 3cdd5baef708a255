#include "AccessibleNames.h"

#include <QCoreApplication>
#include <QWidget>

namespace {

struct Named {
    const char* control;
    const char* name;
};

} // namespace

void NameControls(QWidget* window) {
    static constexpr Named kNames[] = {
        {"txtSourceFiles", QT_TRANSLATE_NOOP("frmTavlo", "Source folder")},
        {"cmdBrowseSource", QT_TRANSLATE_NOOP("frmTavlo", "Select a source folder")},
        {"fraSeven", QT_TRANSLATE_NOOP("frmTavlo", "File lists")},
        {"lstOriginal", QT_TRANSLATE_NOOP("frmTavlo", "Original file list")},
        {"cmdUp", QT_TRANSLATE_NOOP("frmTavlo", "Move the file one step up")},
        {"cmdDown", QT_TRANSLATE_NOOP("frmTavlo", "Move the file one step down")},
        {"lstChanged", QT_TRANSLATE_NOOP("frmTavlo", "Preview file list")},
        {"pbrTavlo", QT_TRANSLATE_NOOP("frmTavlo", "Progress of the run")},
        // Rename Settings
        {"txtPrefix", QT_TRANSLATE_NOOP("frmTavlo", "Prefix")},
        {"txtSuffix", QT_TRANSLATE_NOOP("frmTavlo", "Suffix")},
        {"cboChangeCase", QT_TRANSLATE_NOOP("frmTavlo", "Case")},
        {"txtReplaceString", QT_TRANSLATE_NOOP("frmTavlo", "Text or pattern to replace")},
        {"txtWith", QT_TRANSLATE_NOOP("frmTavlo", "Replace with")},
        {"fraSequencePrefix", QT_TRANSLATE_NOOP("frmTavlo", "Where the sequence goes")},
        {"chkSeqPrefix", QT_TRANSLATE_NOOP("frmTavlo", "Add Prefix to the sequence")},
        {"txtSeqPrefix", QT_TRANSLATE_NOOP("frmTavlo", "Sequence prefix")},
        {"chkSeqSuffix", QT_TRANSLATE_NOOP("frmTavlo", "Add Suffix to the sequence")},
        {"txtSeqSuffix", QT_TRANSLATE_NOOP("frmTavlo", "Sequence suffix")},
        {"fraSequence", QT_TRANSLATE_NOOP("frmTavlo", "Kind of sequence")},
        {"txtDigitStartWith", QT_TRANSLATE_NOOP("frmTavlo", "Start with")},
        {"txtDigits", QT_TRANSLATE_NOOP("frmTavlo", "Digits")},
        {"txtChangeExtension", QT_TRANSLATE_NOOP("frmTavlo", "New extension")},
        {"txtAppendExtension", QT_TRANSLATE_NOOP("frmTavlo", "Extension to append")},
        // Advanced Settings
        {"dtpFileCreationDate", QT_TRANSLATE_NOOP("frmTavlo", "File creation date")},
        {"dtpFileCreationTime", QT_TRANSLATE_NOOP("frmTavlo", "File creation time")},
        {"dtpFileModifiedDate", QT_TRANSLATE_NOOP("frmTavlo", "File modified date")},
        {"dtpFileModifiedTime", QT_TRANSLATE_NOOP("frmTavlo", "File modified time")},
        {"dtpFileLastAccessedDate", QT_TRANSLATE_NOOP("frmTavlo", "File last accessed date")},
        {"dtpFileLastAccessedTime", QT_TRANSLATE_NOOP("frmTavlo", "File last accessed time")},
        // Filter Settings
        {"cboIncludeExclude", QT_TRANSLATE_NOOP("frmTavlo", "Include or exclude")},
        {"chkFilterReadOnly", QT_TRANSLATE_NOOP("frmTavlo", "Filter on Read-only")},
        {"chkFilterHidden", QT_TRANSLATE_NOOP("frmTavlo", "Filter on Hidden")},
        {"chkFilterSystem", QT_TRANSLATE_NOOP("frmTavlo", "Filter on System")},
        {"chkFilterArchive", QT_TRANSLATE_NOOP("frmTavlo", "Filter on Archive")},
        {"dtpFilterCreationDate", QT_TRANSLATE_NOOP("frmTavlo", "Creation date to filter on")},
        {"dtpFilterCreationTime", QT_TRANSLATE_NOOP("frmTavlo", "Creation time to filter on")},
        {"cboCreation", QT_TRANSLATE_NOOP("frmTavlo", "Created before, on or after")},
        {"dtpFilterModifiedDate", QT_TRANSLATE_NOOP("frmTavlo", "Modified date to filter on")},
        {"dtpFilterModifiedTime", QT_TRANSLATE_NOOP("frmTavlo", "Modified time to filter on")},
        {"cboModified", QT_TRANSLATE_NOOP("frmTavlo", "Modified before, on or after")},
        {"dtpFilterLastAccessedDate",
         QT_TRANSLATE_NOOP("frmTavlo", "Last accessed date to filter on")},
        {"dtpFilterLastAccessedTime",
         QT_TRANSLATE_NOOP("frmTavlo", "Last accessed time to filter on")},
        {"cboLastAccessed", QT_TRANSLATE_NOOP("frmTavlo", "Last accessed before, on or after")},
        {"chkInclude", QT_TRANSLATE_NOOP("frmTavlo", "Include extensions")},
        {"lstInclude", QT_TRANSLATE_NOOP("frmTavlo", "Extensions to include")},
        {"chkExclude", QT_TRANSLATE_NOOP("frmTavlo", "Exclude extensions")},
        {"lstExclude", QT_TRANSLATE_NOOP("frmTavlo", "Extensions to exclude")},
    };
    for (const Named& n : kNames)
        if (auto* w = window->findChild<QWidget*>(QLatin1String(n.control)))
            w->setAccessibleName(QCoreApplication::translate("frmTavlo", n.name));
}
