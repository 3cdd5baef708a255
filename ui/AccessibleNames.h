#pragma once

class QWidget;

// Gives the main window's controls that have no caption of their own the name a screen
// reader says for them: that of the caption beside them, told apart where two are alike.
void NameControls(QWidget* window);
