#include "Dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace Dialogs {

namespace {
std::optional<QString> g_nextFolder;
std::function<void(const QString&, Icon, const QString&)> g_sink;
QString g_lastStart;
bool g_answer = false;

// A handler that shows the wait cursor waits for the user under the arrow.
class ArrowWhileAsking {
public:
    ArrowWhileAsking() : m_busy(QGuiApplication::overrideCursor() != nullptr) {
        if (m_busy)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileAsking() {
        if (m_busy)
            QGuiApplication::restoreOverrideCursor();
    }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

private:
    bool m_busy;
};
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
    const ArrowWhileAsking arrow;
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
}

bool Ask(QWidget* owner, const QString& text) {
    const ArrowWhileAsking arrow;
    if (g_sink) {
        g_sink(text, Icon::Question, {});
        return g_answer;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("ZOV"), text,
                    QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void SetNextFolder(std::optional<QString> folder) {
    g_nextFolder = std::move(folder);
}

QString LastStartFolder() {
    return g_lastStart;
}

void SetMessageSink(std::function<void(const QString&, Icon, const QString&)> sink, bool answer) {
    g_sink = std::move(sink);
    g_answer = answer;
}

} // namespace Dialogs
