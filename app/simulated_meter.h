#pragma once
// --simulate: a ferrolog-meter child on a pseudo-terminal, mapped to COM1 for the run and
// stopped when the program ends.

#include <QProcess>
#include <QString>
#include <QStringList>

#include "link/port_table.h"

class SimulatedMeter {
  public:
    SimulatedMeter() = default;
    ~SimulatedMeter();

    // Starts the meter (model name or code, empty for its default) and maps its device to
    // COM1. False, with the reason in Error(), when it could not be started.
    // extraOptions go to the meter's command line as they are (e.g. "--log", "FILE").
    bool Start(PortTable& ports, const QString& model, const QStringList& extraOptions = {});
    void Stop();

    QString DevicePath() const { return devicePath_; }
    QString Error() const { return error_; }

  private:
    QString FindMeterProgram() const;

    QProcess process_;
    QString devicePath_;
    QString error_;
};
