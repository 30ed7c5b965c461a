#pragma once

#include <QDBusConnection>
#include <QObject>

namespace torvane {

/// One tray app per user session, as Linux desktop apps do it: the first
/// instance owns the well-known name kv.kelvor.Torvane on the session bus
/// and answers "Activate" and "Open"; a later one asks it to bring its
/// configuration window forward, or to import the file it was started with,
/// and exits instead of showing a second tray icon.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "kv.kelvor.Torvane")

public:
    static constexpr const char* kServiceName = "kv.kelvor.Torvane";
    static constexpr const char* kObjectPath = "/kv/kelvor/Torvane";

    enum class Claim {
        /// This process owns the name: it is the instance.
        first,
        /// Another process owns it and was asked to come forward.
        another,
        /// Another process owns it but did not answer (reason in `error`).
        anotherSilent,
        /// No session bus: nothing to coordinate with, run alone.
        noBus,
    };

    explicit SingleInstance(QDBusConnection bus, QObject* parent = nullptr);

    /// Takes the name, or hands over to the process that has it: with a
    /// file (an absolute path), the running instance opens its import.
    Claim claim(const QString& fileToOpen = QString());
    QString error() const { return m_error; }

public slots:
    /// Called over the bus by a later instance.
    Q_SCRIPTABLE void Activate();
    /// Called over the bus by a later instance started with a file.
    Q_SCRIPTABLE void Open(const QString& path);

signals:
    void activated();
    void openRequested(const QString& path);

private:
    QDBusConnection m_bus;
    QString m_error;
};

} // namespace torvane
