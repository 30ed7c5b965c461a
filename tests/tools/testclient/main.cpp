#include "CommandLine.h"
#include "ExitCode.h"
#include "TestClient.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace torvane::testclient;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::cout << usageText();
        return exitOk;
    }
    const auto options = parseCommandLine(arguments);
    if (!options) {
        std::cerr << "torvane-testclient: " << options.error() << '\n' << usageText();
        return exitUsage;
    }
    TestClient client(std::cout, std::cerr);
    return client.run(*options);
}
