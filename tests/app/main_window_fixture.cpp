#include "tests/app/main_window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "link/message_seam.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "res/main_dialog_template.h"
#include "screen/screen_poll.h"

void MainWindowTest::SetUp() {
    SetMessageHandler([this](const std::string& text) {
        std::lock_guard lock(messagesMutex);
        messages.push_back(text);
    });
}

void MainWindowTest::TearDown() {
    window_.reset();
    SetMessageHandler(nullptr);
}

std::vector<std::string> MainWindowTest::Messages() {
    std::lock_guard lock(messagesMutex);
    return messages;
}

CMainDlg& MainWindowTest::Window() {
    if (!window_) {
        window_ = std::make_unique<CMainDlg>(link);
        window_->StopAllTimers();
        window_->show();
    }
    return *window_;
}

void MainWindowTest::PickPort(const std::string& path) {
    link.port.Ports().Map(1, path);
    emit Combo(kIdPortSelector)->activated(0);
}

void MainWindowTest::RunStartupScan() {
    RunStartupScanOf(Window());
}

void MainWindowTest::RunStartupScanOf(CMainDlg& window) {
    window.OnTimer(kTimerStartScan);
    window.OnTimer(kTimerScan);
}

bool MainWindowTest::MirrorUntil(int frames, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (Window().MirroredFrames() < frames && timer.elapsed() < timeoutMs) {
        Window().OnTimer(kTimerMirror);
        QTest::qWait(5);
    }
    return Window().MirroredFrames() >= frames;
}

void MainWindowTest::WhenAskedBeforeClosing(QMessageBox::StandardButton answer) {
    auto* poll = new QTimer(&Window());
    QObject::connect(poll, &QTimer::timeout, poll, [this, poll, answer] {
        auto* box = Window().findChild<QMessageBox*>();
        if (!box || !box->isVisible()) return;
        poll->deleteLater();
        questions.push_back(box->text().toStdString());
        QTest::mouseClick(box->button(answer), Qt::LeftButton);
    });
    poll->start(5);
}
