#pragma once
// The window's side of the message seam: every message the program shows becomes a message
// box with an OK button and the program's title as caption.

class QMessageBox;
class QString;
class QWidget;

// Routes ShowMessage to message boxes owned by `owner`. Messages from other threads are
// handed to the user-interface thread and never make their sender wait.
void InstallMessageBoxes(QWidget* owner);

// Asks a question with Yes and No (No the default) in a box like the messages'; true for Yes.
bool AskYesNo(QWidget* owner, const QString& text);

// Widens `box` so that its title stands whole in the title bar beside the window buttons.
void FitTitle(QMessageBox& box);
