#include "Dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace Dialogs {

namespace {
std::optional<QString> g_nextFolder;
std::function<void(const QString&, Icon, const QString&)> g_sink;
QString g_lastStart;
} // namespace

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& start) {
    g_lastStart = start;
    if (g_nextFolder) {
        const QString answer = *g_nextFolder;
        g_nextFolder.reset();
        return answer;
    }
    return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
}

void Message(QWidget* owner, const QString& text, Icon icon, const QString& details) {
    // A handler that shows the wait cursor waits for the user here.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    if (g_sink) {
        g_sink(text, icon, details);
    } else {
        QMessageBox box(icon == Icon::Warning       ? QMessageBox::Warning
                        : icon == Icon::Information ? QMessageBox::Information
                                                    : QMessageBox::NoIcon,
                        QStringLiteral("ZOV"), text, QMessageBox::Ok, owner);
        box.setDetailedText(details);
        box.exec();
    }
    if (busy)
        QGuiApplication::restoreOverrideCursor();
}

void SetNextFolder(std::optional<QString> folder) {
    g_nextFolder = std::move(folder);
}

QString LastStartFolder() {
    return g_lastStart;
}

void SetMessageSink(std::function<void(const QString&, Icon, const QString&)> sink) {
    g_sink = std::move(sink);
}

} // namespace Dialogs
