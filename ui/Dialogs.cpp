#include "Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace Dialogs {

namespace {
std::optional<QString> g_nextFolder;
std::function<void(const QString&, Icon)> g_sink;
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

void Message(QWidget* owner, const QString& text, Icon icon) {
    if (g_sink) {
        g_sink(text, icon);
        return;
    }
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QStringLiteral("ZOV"), text, QMessageBox::Ok, owner);
    box.exec();
}

void SetNextFolder(std::optional<QString> folder) {
    g_nextFolder = std::move(folder);
}

QString LastStartFolder() {
    return g_lastStart;
}

void SetMessageSink(std::function<void(const QString&, Icon)> sink) {
    g_sink = std::move(sink);
}

} // namespace Dialogs
