#pragma once

#include <QObject>

class QSocketNotifier;

namespace torvane {

/// Turns SIGINT and SIGTERM into the `interrupted` signal on the thread that
/// made the notifier: a watching command ends cleanly from Ctrl-C, and the
/// tray app stops its tunnels before it goes when the session ends (logout
/// and shutdown end a session's programs with SIGTERM).
/// The handlers are installed without SA_RESTART, so a blocking terminal read
/// (a password prompt) returns at once and gives the terminal back. One per
/// program.
class InterruptNotifier : public QObject {
    Q_OBJECT

public:
    explicit InterruptNotifier(QObject* parent = nullptr);
    ~InterruptNotifier() override;

signals:
    void interrupted();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace torvane
