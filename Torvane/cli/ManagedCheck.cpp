#include "Torvane/cli/ManagedCheck.h"

#include "Torvane/cli/Translated.h"
#include "shared/managed/ManagedDirectory.h"

#include <iostream>

namespace torvane::cli {

namespace {

std::string yesNo(bool value) {
    return fill(value ? QCoreApplication::translate("torvanectl", "yes")
                      : QCoreApplication::translate("torvanectl", "no"));
}

std::string secretsText(ManagedSecretsOrigin origin) {
    switch (origin) {
    case ManagedSecretsOrigin::none:
        break;
    case ManagedSecretsOrigin::profileFile:
        return fill(QCoreApplication::translate("torvanectl", "secrets: from the profile file"));
    case ManagedSecretsOrigin::secretsFile:
        return fill(QCoreApplication::translate("torvanectl", "secrets: from secrets.d"));
    case ManagedSecretsOrigin::secretsFileNotReadable:
        return fill(QCoreApplication::translate(
            "torvanectl", "secrets: in secrets.d, not readable by this user"));
    }
    return fill(QCoreApplication::translate("torvanectl", "secrets: asked at connect"));
}

} // namespace

int managedCommand(const Invocation& invocation) {
    if (invocation.arguments.front() != "check") {
        std::cerr << "torvanectl: "
                  << fill(QCoreApplication::translate("torvanectl",
                                                      "'managed' has no subcommand '%1'"),
                          invocation.arguments.front())
                  << "\n";
        return 2;
    }
    const std::string directory =
        invocation.arguments.size() > 1 ? invocation.arguments[1] : kDefaultConfigDir;
    const auto result = readManagedDirectory(directory);

    // The verdicts stay in the daemon's words, the lines its log shows.
    std::cout << fill(QCoreApplication::translate("torvanectl", "Files in %1:"), directory) << "\n";
    if (result.verdicts.empty()) {
        std::cout << "  "
                  << fill(QCoreApplication::translate("torvanectl", "(no managed profile files)"))
                  << "\n";
    }
    for (const auto& verdict : result.verdicts) {
        std::cout << "  " << verdict.text() << "\n";
    }
    std::cout << "\n"
              << fill(QCoreApplication::translate("torvanectl",
                                                  "Managed profiles, in priority order:"))
              << "\n";
    if (result.profiles.empty()) {
        std::cout << "  " << fill(QCoreApplication::translate("torvanectl", "(none)")) << "\n";
    }
    int position = 0;
    for (const auto& managed : result.profiles) {
        const auto& profile = managed.profile;
        std::cout << "  " << ++position << ". " << profile.name << "  " << profile.id.upperText()
                  << "\n     "
                  << fill(QCoreApplication::translate("torvanectl", "type %1, gateway %2, from %3"),
                          std::string(rawValue(profile.authMethod)), profile.remoteAddr,
                          managed.sourceFile)
                  << "\n     "
                  << fill(QCoreApplication::translate(
                              "torvanectl", "alwaysOn: %1, lockdown: %2, userMayDisconnect: %3"),
                          yesNo(managed.alwaysOn), yesNo(managed.lockdown),
                          yesNo(managed.userMayDisconnect))
                  << "\n     " << secretsText(managed.secretsOrigin) << "\n";
    }
    std::cout << std::flush;
    return result.allAccepted() ? 0 : 1;
}

} // namespace torvane::cli
