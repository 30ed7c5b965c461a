#pragma once

#include "shared/Expected.h"
#include "shared/LeakFinding.h"

#include <string>
#include <vector>

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace torvane {

class ConnectionManager;

/// "Check for Leaks": runs the daemon's leak self-check and lists one line
/// per check with its level, and for anything not OK what to do. Not modal,
/// so the window stays usable while the check runs.
class LeakCheckDialog : public QDialog {
    Q_OBJECT

public:
    /// `connection` must outlive the dialog.
    explicit LeakCheckDialog(ConnectionManager& connection, QWidget* parent = nullptr);

    /// Starts a check (again); the list shows "Checking…" until it answers.
    void run();
    void showFindings(const Expected<std::vector<LeakFinding>, std::string>& findings);

    QLabel* summary() const { return m_summary; }
    QTreeWidget* list() const { return m_list; }

private:
    ConnectionManager& m_connection;
    QLabel* m_summary;
    QTreeWidget* m_list;
    QPushButton* m_again;
};

} // namespace torvane
