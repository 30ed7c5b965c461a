#include "Torvane/ui/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace torvane {

namespace {

// The running instance answers at once; a hung one must not hold the
// second start for long.
constexpr int kActivateTimeoutMs = 5000;

} // namespace

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

SingleInstance::Claim SingleInstance::claim(const QString& fileToOpen) {
    if (!m_bus.isConnected()) {
        m_error = m_bus.lastError().message();
        return Claim::noBus;
    }
    // The object first, so that a later instance never finds the name
    // without it.
    m_bus.registerObject(QString::fromLatin1(kObjectPath), this,
                         QDBusConnection::ExportScriptableSlots);
    const auto reply = m_bus.interface()->registerService(
        QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return Claim::first;
    }
    m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
    auto call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
        QString::fromLatin1(kServiceName),
        fileToOpen.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!fileToOpen.isEmpty()) {
        call << fileToOpen;
    }
    // Events keep flowing while it waits (the first instance may live in
    // this very process in a test).
    const auto answer = m_bus.call(call, QDBus::BlockWithGui, kActivateTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        m_error = answer.errorMessage();
        return Claim::anotherSilent;
    }
    return Claim::another;
}

void SingleInstance::Activate() {
    emit activated();
}

void SingleInstance::Open(const QString& path) {
    emit openRequested(path);
}

} // namespace torvane
