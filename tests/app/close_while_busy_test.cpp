// A close request while a scan or a field fetch holds the window stops it: the window goes at
// once instead of after the silent meter's whole wait, and nothing is fetched or said.

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include "link/command_frame.h"
#include "link/port_table.h"
#include "measure/measurement.h"
#include "res/main_dialog_template.h"
#include "tests/app/main_window_fixture.h"
#include "tests/support/meter_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace {

// Far below the 5 s a silent port's scan takes, or the 3 s of a silent field fetch, yet far
// above the stop's own few milliseconds.
constexpr qint64 kCloseBoundMs = 2000;

class CloseWhileBusyTest : public MainWindowTest {
  protected:
    // Closes the window the way its close box does once `ready` holds, looking every 5 ms
    // from the window's own event loop (which the busy window keeps running).
    void CloseWhen(std::function<bool()> ready) {
        auto* poll = new QTimer(&Window());
        QObject::connect(poll, &QTimer::timeout, &Window(), [this, poll, ready] {
            if (!ready()) return;
            poll->stop();
            Window().close();
        });
        poll->start(5);
    }

    void ExpectClosedQuietly(const QElapsedTimer& since) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Window().isVisible(); }, 10000));
        EXPECT_LT(since.elapsed(), kCloseBoundMs);
        EXPECT_EQ(Window().result(), QDialog::Rejected);
        EXPECT_TRUE(Messages().empty());
        EXPECT_TRUE(link.PortFree());
    }
};

TEST_F(CloseWhileBusyTest, CloseDuringAScanOfSilentPortsStopsIt) {
    PtyPair silent[3];
    for (int com = 1; com <= 3; ++com)
        link.port.Ports().Map(com, silent[com - 1].SlavePath());
    const Bytes getver = BuildFrame("GETVER");
    Bytes heard;
    // Once the first port has been asked, the scan is in its long wait for the answer.
    CloseWhen([&] {
        const Bytes more = silent[0].Read(static_cast<int>(getver.size() - heard.size()), 5);
        heard.insert(heard.end(), more.begin(), more.end());
        return heard.size() >= getver.size();
    });
    QElapsedTimer timer;
    timer.start();
    RunStartupScan();
    ExpectClosedQuietly(timer);
    EXPECT_FALSE(link.DeviceConnected);
    EXPECT_FALSE(link.port.IsOpen());
}

TEST_F(CloseWhileBusyTest, CloseDuringAFieldFetchFromASilentMeterStopsIt) {
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter({"--fast", "--fault", "GETEMFDATA:silent", "--log", log});
    ASSERT_FALSE(meter.DevicePath().empty());
    link.port.Ports().Map(1, meter.DevicePath());
    emit Combo(kIdPortSelector)->activated(0);
    ASSERT_TRUE(link.DeviceConnected);
    {
        std::lock_guard lock(messagesMutex);
        messages.clear();
    }
    Window().Shown().measurement.field = {};
    const std::string getEmf = HexString(BuildFrame("GETEMFDATA"));
    CloseWhen([&] {
        const std::vector<std::string> lines = ReadLogLines(log);
        return std::find(lines.begin(), lines.end(), getEmf) != lines.end();
    });
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(Button(kIdGetEmf), Qt::LeftButton);
    ExpectClosedQuietly(timer);
    // Nothing was decoded from the reply that never came.
    EXPECT_EQ(std::accumulate(Window().Shown().measurement.field.emfSeries.begin(),
                              Window().Shown().measurement.field.emfSeries.end(), 0.0f),
              0.0f);
}

}  // namespace
