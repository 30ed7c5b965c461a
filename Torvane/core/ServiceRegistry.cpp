#include "Torvane/core/ServiceRegistry.h"

#include "Torvane/core/ServiceRegistryCommandRunner.h"
#include "Torvane/core/SystemdServiceRegistry.h"
#include "Torvane/core/UnmanagedServiceRegistry.h"

#include <cstdlib>

namespace torvane {

std::string describe(ServiceStatus status) {
    switch (status) {
    case ServiceStatus::notRegistered:
        return "notRegistered";
    case ServiceStatus::enabled:
        return "enabled";
    case ServiceStatus::requiresApproval:
        return "requiresApproval";
    case ServiceStatus::notFound:
        return "notFound";
    }
    return "unknown(" + std::to_string(static_cast<int>(status)) + ")";
}

std::shared_ptr<ServiceRegistry> makeServiceRegistry() {
    const char* socket = std::getenv("TORVANE_HELPER_SOCKET");
    if (socket != nullptr && *socket != '\0') {
        return std::make_shared<UnmanagedServiceRegistry>();
    }
    return std::make_shared<SystemdServiceRegistry>(std::make_shared<SystemServiceCommandRunner>());
}

} // namespace torvane
