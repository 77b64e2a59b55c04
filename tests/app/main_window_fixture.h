#pragma once
// A main window on a clean process state, with the messages it shows recorded.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_dialog.h"

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the window with its timers stopped, so each test drives the scheduler itself.
    CMainDlg& Window();

    QCheckBox* Box(int id) { return static_cast<QCheckBox*>(Window().Control(id)); }
    QComboBox* Combo(int id) { return static_cast<QComboBox*>(Window().Control(id)); }
    QPushButton* Button(int id) { return static_cast<QPushButton*>(Window().Control(id)); }

    // Maps COM1 to `path` and picks it in the port box, which connects to the meter there.
    void PickPort(const std::string& path);
    // Runs the start-up scan the way timers 101 and 103 do (of window, or of Window()).
    void RunStartupScan();
    static void RunStartupScanOf(CMainDlg& window);
    // Ticks the mirror timer and lets the user-interface thread run until `frames` frames
    // have been shown or `timeoutMs` has passed.
    bool MirrorUntil(int frames, int timeoutMs);

    // Clicks `answer` in the question the window asks before closing, as soon as it shows,
    // from whatever loop runs then; the question's text goes into `questions`.
    void WhenAskedBeforeClosing(QMessageBox::StandardButton answer);
    std::vector<std::string> questions;

    // Messages shown so far; a copy taken under the lock, for messages a worker thread shows.
    std::vector<std::string> Messages();

    std::vector<std::string> messages;  // guarded by messagesMutex while workers may add
    std::mutex messagesMutex;

    // The window's link to the meter: each test's own, outliving its window.
    MeterLink link;

  private:
    std::unique_ptr<CMainDlg> window_;
};
