#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Every modal question the program asks goes through here, so that tests can answer
// them without a window of their own.
namespace Dialogs {

// The platform's folder chooser, opened at start: a folder path (no trailing separator
// except a root's), or an empty text when the user cancels.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& start);

enum class Icon { None, Warning, Information, Question };
// A modal message box captioned "ZOV" with a single OK button; details, where given, are
// shown on request below the text. The arrow stands over it while a busy handler waits.
void Message(QWidget* owner, const QString& text, Icon icon, const QString& details = {});

// A modal question captioned "ZOV" with OK and Cancel, Cancel the default: true for OK.
bool Ask(QWidget* owner, const QString& text);

// For tests: the answer the next folder chooser gives instead of showing itself.
void SetNextFolder(std::optional<QString> folder);
// For tests: the folder the last chooser was opened at.
QString LastStartFolder();
// For tests: messages and questions go to sink instead of a message box (a question with
// Icon::Question), questions answered by answer; an empty sink restores them.
void SetMessageSink(
    std::function<void(const QString& text, Icon icon, const QString& details)> sink,
    bool answer = false);

} // namespace Dialogs
