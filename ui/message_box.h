#pragma once
// The window's side of the message seam: every message the program shows becomes a message
// box with an OK button and the program's title as caption.

class QWidget;

// Routes ShowMessage to message boxes owned by `owner`. Messages from other threads are
// handed to the user-interface thread and never make their sender wait.
void InstallMessageBoxes(QWidget* owner);
