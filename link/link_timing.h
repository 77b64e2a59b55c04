#pragma once
// Time for every exchange with the meter: a clock to sleep on and take deadlines from, the times
// that date a recording's rows, and the stopwatch. The port carries the clock its exchanges use
// (CSerialPort::clock()), so a test can put a virtual one under them and a 30-second timeout, or
// a recording's minutes, take no real time.

#include <cstdint>

class Clock {
  public:
    virtual ~Clock() = default;
    // Monotonic microseconds since an arbitrary start; for deadlines, never for dates.
    virtual int64_t NowUs() = 0;
    // Sleeps milliseconds; nothing for 0 or less.
    virtual void SleepMs(int milliseconds) = 0;
    // Milliseconds on a clock that no one sets and that runs on while the computer sleeps (a
    // monotonic clock alone would stop, and a suspended recording would be dated too early).
    virtual int64_t RecordingMs() = 0;
    // Milliseconds since the epoch on the computer's clock: to the millisecond, so a recording's
    // first second is not cut short and the rows after it fall one a second, not two in one.
    virtual int64_t WallMs() = 0;

    int64_t NowMs() { return NowUs() / 1000; }
};

// The steady clock of the computer. Holds no state, so one instance serves every thread.
class RealClock : public Clock {
  public:
    int64_t NowUs() override;
    void SleepMs(int milliseconds) override;
    int64_t RecordingMs() override;
    int64_t WallMs() override;
};

// The real clock the programs run on, and the default of every port.
Clock& SystemClock();

// SystemClock().SleepMs and NowMs, for code that waits on nothing but the real clock.
void SleepMs(int milliseconds);
int64_t NowMs();

class Stopwatch {
  public:
    explicit Stopwatch(Clock& clock = SystemClock()) : clock_(clock), startUs_(clock.NowUs()) {}
    double ElapsedMs() const { return static_cast<double>(clock_.NowUs() - startUs_) / 1000.0; }

  private:
    Clock& clock_;
    int64_t startUs_;
};

// A deadline some milliseconds from when it is made, in whole milliseconds of the clock it was
// made with.
class Deadline {
  public:
    Deadline(Clock& clock, int64_t milliseconds)
        : clock_(clock), endMs_(clock.NowMs() + milliseconds) {}
    bool Passed() const { return clock_.NowMs() >= endMs_; }

  private:
    Clock& clock_;
    int64_t endMs_;
};
