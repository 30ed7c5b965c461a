#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace torvane::testing {

/// A session bus of the test's own, ended with it; the address is empty
/// when dbus-daemon is missing.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty()) {
            return;
        }
        m_daemon.start(program, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address=1")});
        if (m_daemon.waitForReadyRead(10000)) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        }
    }
    ~PrivateSessionBus() {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace torvane::testing
