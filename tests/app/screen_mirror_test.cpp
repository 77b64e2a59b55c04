// The screen mirror and the remote keys through the real window, over a pseudo-terminal.

#include <QElapsedTimer>
#include <QTest>
#include <thread>

#include "graph/banner_wnd.h"
#include "link/port_guard.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "res/main_dialog_template.h"
#include "screen/screen_frame.h"
#include "screen/screen_poll.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/menu_clicks.h"
#include "tests/support/meter_process.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unplugging_meter.h"

namespace {

constexpr QRgb kInk = qRgb(45, 45, 45);
constexpr QRgb kPaper = qRgb(180, 200, 253);
constexpr int kMirrorWidth = 384, kMirrorHeight = 192;

Bytes Frame(uint8_t fill, uint8_t trailer = kReplyTrailer) {
    Bytes frame(kScreenFrameSize, fill);
    frame[kScreenTrailerOffset] = trailer;
    return frame;
}

Bytes FrameWithByte(size_t index, uint8_t value) {
    Bytes frame = Frame(0x00);
    frame[index] = value;
    return frame;
}

bool AllPixels(const QImage& image, QRgb colour);

// A meter that names itself and answers GETSCREEN with whatever frame the test sets.
class MirrorTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        link.port.Ports().Map(1, pty.SlavePath());
        peer = std::make_unique<ScriptedPeer>(pty, [this](const Bytes& f, int) {
            std::string name(f.begin() + 1, f.end() - 2);
            if (name == "GETVER")
                return ScriptedReply{Bytes{'Z', 'T', 'X', '4', '4', '0', 'R', ' ', '3'}};
            if (name == "GETSCREEN") {
                std::lock_guard lock(frameMutex);
                return ScriptedReply{frame};
            }
            return ScriptedReply{};
        });
        emit Combo(kIdPortSelector)->activated(0);
        ASSERT_TRUE(link.DeviceConnected);
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        peer.reset();
    }
    void Serve(const Bytes& f) {
        std::lock_guard lock(frameMutex);
        frame = f;
    }
    int ScreenRequests() {
        int n = 0;
        for (const Bytes& f : peer->Frames())
            n += f == BuildFrame("GETSCREEN");
        return n;
    }
    // Mirrors until the whole screen shows `colour`; a frame read before the change may come
    // first.
    bool ShowsSoon(QRgb colour) {
        return WaitFor([&] {
            MirrorUntil(Window().MirroredFrames() + 1, 3000);
            return AllPixels(Mirrored(), colour);
        });
    }
    QImage Mirrored() {
        QImage shot = Window().Banner()->grab().toImage();
        return shot.copy(QRect(kScreenImageOrigin, QSize(kMirrorWidth, kMirrorHeight)));
    }

    PtyPair pty;
    std::unique_ptr<ScriptedPeer> peer;
    std::mutex frameMutex;
    Bytes frame = Frame(0x00);
};

bool AllPixels(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != colour) return false;
    return true;
}

// The 3 x 3 block at (x, y) is ink and everything else paper.
bool OnlyBlockIsInk(const QImage& image, int x, int y) {
    for (int py = 0; py < image.height(); ++py)
        for (int px = 0; px < image.width(); ++px) {
            bool inBlock = px >= x && px < x + 3 && py >= y && py < y + 3;
            if (image.pixel(px, py) != (inBlock ? kInk : kPaper)) return false;
        }
    return true;
}

TEST_F(MirrorTest, MirroredFramesMatchTheMetersPicturePixelForPixel) {
    Serve(Frame(0x00));
    ASSERT_TRUE(MirrorUntil(1, 3000));
    EXPECT_TRUE(AllPixels(Mirrored(), kPaper));

    Serve(Frame(0xFF));
    EXPECT_TRUE(ShowsSoon(kInk));

    struct Corner {
        size_t index;
        uint8_t bit;
        int x, y;
    };
    const Corner corners[] = {
        {0, 0x01, 0, 189},      // bottom-left
        {127, 0x01, 381, 189},  // bottom-right
        {896, 0x80, 0, 0},      // top-left
        {1023, 0x80, 381, 0},   // top-right
    };
    for (const Corner& c : corners) {
        Serve(FrameWithByte(c.index, c.bit));
        EXPECT_TRUE(WaitFor([&] {
            MirrorUntil(Window().MirroredFrames() + 1, 3000);
            return OnlyBlockIsInk(Mirrored(), c.x, c.y);
        })) << "byte "
            << c.index;
    }
}

TEST_F(MirrorTest, AFrameWithABadTrailerIsNotDrawnAndARunEndsAfterFiveTries) {
    Serve(Frame(0xFF, 0x00));
    Window().OnTimer(kTimerMirror);
    ASSERT_TRUE(WaitFor([this] { return ScreenRequests() >= 5; }));
    QTest::mouseClick(Box(kIdPause), Qt::LeftButton);  // no run starts after this one
    ASSERT_TRUE(WaitFor([&] { return link.PortFree(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(Window().MirroredFrames(), 0);
    EXPECT_EQ(ScreenRequests() % 5, 0);  // every run made its five attempts
}

TEST_F(MirrorTest, PauseStopsNewFramesAndKeepsTheLastOne) {
    Serve(Frame(0xFF));
    ASSERT_TRUE(MirrorUntil(1, 3000));
    QTest::mouseClick(Box(kIdPause), Qt::LeftButton);
    // The run under way may still end with a frame; its notification is queued before the
    // run gives the port back.
    ASSERT_TRUE(WaitFor([&] { return link.PortFree(); }));
    QCoreApplication::processEvents();
    const int requests = ScreenRequests();
    const int frames = Window().MirroredFrames();
    for (int i = 0; i < 20; ++i) {
        Window().OnTimer(kTimerMirror);
        EXPECT_TRUE(link.PortFree());  // no run started
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(ScreenRequests(), requests);
    EXPECT_EQ(Window().MirroredFrames(), frames);
    EXPECT_TRUE(AllPixels(Mirrored(), kInk));
}

TEST_F(MirrorTest, NoRunStartsWhileTheLinkIsSuspendedOrLent) {
    link.LinkSuspended = true;
    Window().OnTimer(kTimerMirror);
    EXPECT_TRUE(link.PortFree());                        // a run takes the port as it starts
    EXPECT_EQ(Window().TimerPeriod(kTimerMirror), 500);  // suspended: the tick does nothing
    link.LinkSuspended = false;
    {
        PortGuard guard(link);  // a dialog holds the port: the tick starts nothing
        Window().OnTimer(kTimerMirror);
        EXPECT_FALSE(Window().ScreenPollRunning());
    }
    Window().StopAllTimers();
    EXPECT_EQ(ScreenRequests(), 0);
}

TEST_F(MirrorTest, StopScreenPollEndsAWaitingRunAtOnce) {
    Serve(Bytes{});  // a meter that does not answer
    Window().OnTimer(kTimerMirror);
    ASSERT_TRUE(WaitFor([this] { return ScreenRequests() == 1; }));
    { PortGuard guard(link); }
    EXPECT_EQ(ScreenRequests(), 1);  // left at once: no second attempt of the five
}

TEST_F(MirrorTest, ALostMeterIsShownAsSuchStartsNoRunAndPausesTheAutomaticFetches) {
    Serve(Frame(0xFF));
    ASSERT_TRUE(MirrorUntil(1, 3000));
    // What the link does when the device hangs up.
    link.LinkLost = true;
    ASSERT_TRUE(WaitFor([&] { return link.PortFree(); }));
    link.port.Close();
    link.DeviceConnected = false;
    messages.clear();
    QTest::mouseClick(Box(kIdAutoField), Qt::LeftButton);
    const int requests = static_cast<int>(peer->Frames().size());
    for (int i = 0; i < 5; ++i) {
        Window().OnTimer(kTimerMirror);
        Window().OnTimer(kTimerFetch);
        EXPECT_TRUE(link.PortFree());
    }
    EXPECT_EQ(static_cast<int>(peer->Frames().size()), requests);
    EXPECT_TRUE(Window().Banner()->ShowsNotice());
    EXPECT_FALSE(AllPixels(Mirrored(), kInk));
    EXPECT_EQ(Window().TimerPeriod(kTimerMirror), 1000);  // looked for once a second
    EXPECT_TRUE(messages.empty());

    QTest::mouseClick(Button(kIdGetEmf), Qt::LeftButton);
    EXPECT_EQ(messages, std::vector<std::string>{"The meter was disconnected."});
}

class KeysTest : public MainWindowTest {
  protected:
    TempDir dir;
};

TEST_F(KeysTest, KeysReachTheMeterAsExactFramesAndDriveItsScreen) {
    const std::string log = dir.File("frames.log");
    MeterProcess meter({"--log", log});
    ASSERT_FALSE(meter.DevicePath().empty());
    link.port.Ports().Map(1, meter.DevicePath());
    emit Combo(kIdPortSelector)->activated(0);
    ASSERT_TRUE(link.DeviceConnected);

    ASSERT_TRUE(MirrorUntil(1, 3000));
    const QImage before = Window().Banner()->grab().toImage();
    QTest::mouseClick(Button(kIdKeySelect), Qt::LeftButton);  // opens the meter's menu
    EXPECT_TRUE(WaitFor([&] {
        MirrorUntil(Window().MirroredFrames() + 1, 3000);
        return Window().Banner()->grab().toImage() != before;
    }));

    for (int id : {kIdKeyBack, kIdKeyDown, kIdKeyUp, kIdHoldDown, kIdHoldUp})
        QTest::mouseClick(Button(id), Qt::LeftButton);
    std::vector<std::string> keys;
    auto readKeys = [&] {
        keys.clear();
        for (const std::string& line : ReadLogLines(log))
            if (line.rfind("3C 4B 45 59", 0) == 0) keys.push_back(line);
        return keys.size() >= 6;
    };
    EXPECT_TRUE(WaitFor(readKeys));
    std::vector<std::string> expected = {
        "3C 4B 45 59 33 3E 3E",              // <KEY3>>
        "3C 4B 45 59 30 3E 3E",              // <KEY0>>
        "3C 4B 45 59 31 3E 3E",              // <KEY1>>
        "3C 4B 45 59 32 3E 3E",              // <KEY2>>
        "3C 4B 45 59 48 4F 4C 44 31 3E 3E",  // <KEYHOLD1>>
        "3C 4B 45 59 48 4F 4C 44 32 3E 3E",  // <KEYHOLD2>>
    };
    EXPECT_EQ(keys, expected);
}

TEST_F(KeysTest, KeysOnAClosedPortSendNothingAndSayNothing) {
    QTest::mouseClick(Button(kIdOnOff), Qt::LeftButton);
    EXPECT_TRUE(messages.empty());
}

TEST_F(KeysTest, UnpluggingTheMeterWhileMirroringLeavesTheWindowResponsive) {
    // Once the meter is gone the window looks for it again at its link.
    TempDir dir;
    const UnpluggingMeter meter(dir, 12, UnpluggingMeter::kNeverBack);
    ASSERT_TRUE(meter.Started());
    PickPort(meter.Link());
    ASSERT_TRUE(link.DeviceConnected);
    MirrorUntil(100, 2500);  // runs on past the unplug
    const int frames = Window().MirroredFrames();
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 12);
    for (int i = 0; i < 50; ++i) {
        Window().OnTimer(kTimerMirror);
        QCoreApplication::processEvents();
    }
    QTest::mouseClick(Button(kIdKeyUp), Qt::LeftButton);
    EXPECT_EQ(Window().MirroredFrames(), frames);
}

}  // namespace
