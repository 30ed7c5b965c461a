#include "Torvane/cli/CommandLine.h"
#include "Torvane/cli/Torvanectl.h"
#include "Torvane/cli/Translated.h"
#include "Torvane/core/DaemonClient.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/core/Translations.h"

#include <iostream>
#include <string>
#include <vector>

#include <QCoreApplication>

int main(int argc, char** argv) {
    using namespace torvane;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    QCoreApplication app(argc, argv);
    installTranslations(app);

    const auto invocation = cli::parseCommandLine(arguments);
    if (!invocation) {
        std::cerr << "torvanectl: " << invocation.error() << "\n"
                  << cli::fill(cli::Torvanectl::tr("Run 'torvanectl --help' for usage.")) << "\n";
        return 2;
    }
    if (invocation->help) {
        std::cout << cli::commandUsage(invocation->command);
        return 0;
    }
    cli::Torvanectl ctl(DaemonClient::shared(), ProfileStore::shared());
    return ctl.run(*invocation);
}
