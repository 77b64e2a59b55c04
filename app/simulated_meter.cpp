#include "app/simulated_meter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include "link/port_table.h"

namespace {
constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 2000;
}  // namespace

SimulatedMeter::~SimulatedMeter() {
    Stop();
}

QString SimulatedMeter::FindMeterProgram() const {
    // Beside this program when installed, or in the build tree's sim folder.
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {dir + "/ferrolog-meter", dir + "/../sim/ferrolog-meter"})
        if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
    return QStandardPaths::findExecutable(QStringLiteral("ferrolog-meter"));
}

bool SimulatedMeter::Start(PortTable& ports, const QString& model,
                           const QStringList& extraOptions) {
    const QString program = FindMeterProgram();
    if (program.isEmpty()) {
        error_ = QStringLiteral(
            "ferrolog-meter not found: --simulate needs the virtual meter of the ferrolog-meter "
            "package (sudo apt-get install ferrolog-meter)");
        return false;
    }
    QStringList args;
    if (!model.isEmpty()) args << QStringLiteral("--model") << model;
    args << extraOptions;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, args);
    if (!process_.waitForStarted(kStartTimeoutMs)) {
        error_ = process_.errorString();
        return false;
    }
    // The meter prints its device path as its first line.
    while (!process_.canReadLine() && process_.waitForReadyRead(kStartTimeoutMs)) {
    }
    devicePath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    if (devicePath_.isEmpty()) {
        error_ = QStringLiteral("ferrolog-meter printed no device");
        Stop();
        return false;
    }
    ports.Map(1, devicePath_.toStdString());
    return true;
}

void SimulatedMeter::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(kStopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(kStopTimeoutMs);
    }
}
