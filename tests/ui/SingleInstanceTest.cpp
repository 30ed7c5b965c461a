#include "Torvane/ui/SingleInstance.h"

#include <optional>

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace torvane {
namespace {

/// A session bus of the test's own, ended with it.
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

// Two starts of the app, each with its own connection to one session bus:
// the second hands over to the first and would exit.
TEST(SingleInstanceTest, ASecondStartBringsTheFirstForwardInsteadOfRunningTwice) {
    PrivateSessionBus bus;
    if (bus.address().isEmpty()) {
        GTEST_SKIP() << "needs dbus-daemon";
    }
    SingleInstance first(QDBusConnection::connectToBus(bus.address(), QStringLiteral("first")));
    QSignalSpy activated(&first, &SingleInstance::activated);
    ASSERT_EQ(first.claim(), SingleInstance::Claim::first) << first.error().toStdString();

    // The first answers from the event loop the second's call keeps running.
    SingleInstance secondStart(
        QDBusConnection::connectToBus(bus.address(), QStringLiteral("second")));
    std::optional<SingleInstance::Claim> secondClaim;
    QMetaObject::invokeMethod(
        &secondStart, [&] { secondClaim = secondStart.claim(); }, Qt::QueuedConnection);
    ASSERT_TRUE(activated.wait(10000));
    EXPECT_EQ(secondClaim, SingleInstance::Claim::another);
    EXPECT_EQ(activated.count(), 1);

    QDBusConnection::disconnectFromBus(QStringLiteral("first"));
    QDBusConnection::disconnectFromBus(QStringLiteral("second"));
}

} // namespace
} // namespace torvane
