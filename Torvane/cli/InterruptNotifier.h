#pragma once

#include <QObject>

class QSocketNotifier;

namespace torvane::cli {

/// Turns SIGINT and SIGTERM into the `interrupted` signal on the thread that
/// made the notifier, so a watching command can end cleanly from Ctrl-C.
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

} // namespace torvane::cli
