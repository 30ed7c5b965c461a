#include "Torvane/ui/ConfigWindowModel.h"

namespace torvane {

ConfigWindowModel& ConfigWindowModel::shared() {
    static ConfigWindowModel model;
    return model;
}

void ConfigWindowModel::setSelectedTab(ConfigTab tab) {
    if (tab == m_selectedTab) {
        return;
    }
    m_selectedTab = tab;
    emit selectedTabChanged(tab);
}

} // namespace torvane
