#include "Clock.h"
#include "Helper.h"
#include "HelperLocator.h"

#include <QSettings>

namespace torvane {
inline namespace app {

Helper& Helper::shared() {
    // Never destroyed: worker and reader threads may still be running while
    // the program exits.
    static Helper* const instance = new Helper(Dependencies{
        .registry = makeServiceRegistry(),
        .clock = std::make_shared<SystemClock>(),
        .socketPath = helperSocketPath(),
        .helperExecutable = helperExecutablePath(),
        .openSettings = [] { return std::make_unique<QSettings>("kelvor", "Torvane"); },
    });
    return *instance;
}

} // namespace app
} // namespace torvane
