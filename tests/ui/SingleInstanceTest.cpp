#include "Torvane/ui/SingleInstance.h"

#include "tests/ui/PrivateSessionBus.h"

#include <optional>

#include <QDBusConnection>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using testing::PrivateSessionBus;

// Two starts of the app, each with its own connection to one session bus:
// the second hands over to the first and would exit, and so does a start
// with a file.
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

    // A start with a file (opened from the file manager) hands the file over
    // instead.
    QSignalSpy openRequested(&first, &SingleInstance::openRequested);
    SingleInstance fileStart(QDBusConnection::connectToBus(bus.address(), QStringLiteral("file")));
    std::optional<SingleInstance::Claim> fileClaim;
    QMetaObject::invokeMethod(
        &fileStart,
        [&] { fileClaim = fileStart.claim(QStringLiteral("/home/user/Downloads/office.sswan")); },
        Qt::QueuedConnection);
    ASSERT_TRUE(openRequested.wait(10000));
    EXPECT_EQ(fileClaim, SingleInstance::Claim::another);
    EXPECT_EQ(openRequested.at(0).at(0).toString(),
              QStringLiteral("/home/user/Downloads/office.sswan"));
    EXPECT_EQ(activated.count(), 1);

    QDBusConnection::disconnectFromBus(QStringLiteral("first"));
    QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    QDBusConnection::disconnectFromBus(QStringLiteral("file"));
}

} // namespace
} // namespace torvane
