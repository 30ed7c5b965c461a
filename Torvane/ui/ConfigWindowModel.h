#pragma once

#include <QObject>

namespace torvane {

enum class ConfigTab { connections = 0, log = 1 };

/// What the configuration window shows, kept apart from the window so that
/// the menu can switch tabs and the last tab survives closing the window.
class ConfigWindowModel : public QObject {
    Q_OBJECT

public:
    explicit ConfigWindowModel(QObject* parent = nullptr) : QObject(parent) {}

    /// The application's one model; lives until the process ends.
    static ConfigWindowModel& shared();

    ConfigTab selectedTab() const { return m_selectedTab; }
    void setSelectedTab(ConfigTab tab);

signals:
    void selectedTabChanged(torvane::ConfigTab tab);

private:
    ConfigTab m_selectedTab = ConfigTab::connections;
};

} // namespace torvane
