// Listens to the sound server's monitor of the default sink (parec, with
// small fragments) and calls back the moment sound arrives after arm():
// the first sample that is not silent.
#pragma once

#include <QByteArray>
#include <QProcess>

#include <functional>

class MonitorWatch {
public:
    explicit MonitorWatch(const QString& source = QStringLiteral("trelvane_null.monitor"));
    ~MonitorWatch();
    // Starts parec and waits until its data flows; false if it cannot.
    bool start();
    // From now on, the first sound heard calls on_sound once.
    void arm(std::function<void()> on_sound);
    bool armed() const { return static_cast<bool>(callback); }

private:
    void take();
    QProcess process;
    QString source;
    QByteArray partial;  // a trailing part of a sample
    qint64 received = 0;
    std::function<void()> callback;
};
