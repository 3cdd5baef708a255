#pragma once

#include <QFont>
#include <QIcon>

class QWidget;

// The program's own look, shared by its windows: Verdana (or the system's sans-serif
// where it is missing), the light background, the grey buttons and the program icon.
QFont Verdana(qreal points, bool bold = false);
QIcon ProgramIcon();
void ApplyProgramLook(QWidget* window);

// Fusion draws the window's own colours on every platform.
void UseProgramStyle();
