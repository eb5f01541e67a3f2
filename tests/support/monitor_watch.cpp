#include "support/monitor_watch.h"

#include <QElapsedTimer>
#include <QCoreApplication>

MonitorWatch::MonitorWatch(const QString& monitor) : source(monitor)
{
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { take(); });
}

MonitorWatch::~MonitorWatch()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool MonitorWatch::start()
{
    process.start(QStringLiteral("parec"),
                  {QStringLiteral("--device=") + source, QStringLiteral("--format=s16le"),
                   QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"), QStringLiteral("--raw"),
                   QStringLiteral("--latency-msec=5")});
    if (!process.waitForStarted(10000))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (received < 4 * 4410 && process.state() == QProcess::Running && waited.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return received >= 4 * 4410;
}

void MonitorWatch::arm(std::function<void()> on_sound)
{
    callback = std::move(on_sound);
}

void MonitorWatch::take()
{
    QByteArray data = partial + process.readAllStandardOutput();
    received += data.size() - partial.size();
    const qsizetype whole = data.size() / 2 * 2;
    partial = data.mid(whole);
    if (!callback)
        return;
    for (qsizetype i = 0; i < whole; i += 2) {
        if (data[i] != 0 || data[i + 1] != 0) {
            auto call = std::move(callback);
            callback = nullptr;
            call();
            return;
        }
    }
}
