#pragma once

class QWidget;

// The program's own user guide and questions and answers, from its resources.
namespace HelpWindow {
enum class Page { Contents, Faq };
void Show(QWidget* owner, Page page);
} // namespace HelpWindow
