#include "Torvane/core/DaemonClient.h"
#include "Torvane/core/HelperLocator.h"
#include "shared/Clock.h"

#include <QSettings>

namespace torvane {

DaemonClient& DaemonClient::shared() {
    // Never destroyed: worker and reader threads may still be running while
    // the program exits.
    static DaemonClient* const instance = new DaemonClient(Dependencies{
        .registry = makeServiceRegistry(),
        .clock = std::make_shared<SystemClock>(),
        .socketPath = helperSocketPath(),
        .helperExecutable = helperExecutablePath(),
        .openSettings = [] { return std::make_unique<QSettings>("kelvor", "Torvane"); },
    });
    return *instance;
}

} // namespace torvane
