#pragma once
// CScanningDlg: the small "Scanning Device..." panel shown over the main window while the
// scan runs. White text on dark green; its OK button exists but is never shown.

#include <QFrame>

class QLabel;

class CScanningDlg : public QFrame {
    Q_OBJECT

  public:
    explicit CScanningDlg(QWidget* parent);
    QString Text() const;

  private:
    QLabel* text_ = nullptr;
};
