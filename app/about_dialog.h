#pragma once
// CAboutDlg: the program's icon, its name and version, and OK.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent);
};

// The window icon: drawn here rather than shipped, so every platform has it.
QIcon ProgramIcon();
