// Drives the strongSwan text builders from the namespace test: stages a
// profile the way the engine does (check first, then the tree with its
// modes) and runs the output parsers over real swanctl output.
#include "StagingLayout.h"
#include "StrongswanConfig.h"
#include "SwanctlOutput.h"
#include "SwanctlValues.h"
#include "VPNProfile.h"
#include "VPNSecrets.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace torvane;

namespace {

std::string readAll(std::istream& in) {
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return readAll(in);
}

void makeDirectory(const fs::path& path) {
    fs::create_directories(path);
    if (::chmod(path.c_str(), 0700) != 0) {
        throw std::runtime_error("cannot chmod " + path.string());
    }
}

void writeFile(const fs::path& path, const std::string& text, mode_t mode) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out || ::chmod(path.c_str(), mode) != 0) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

int stage(const std::string& profilePath, const std::string& secretsPath, const std::string& etc,
          const fs::path& root) {
    const auto profile = decodeProfile(readFile(profilePath));
    const auto secrets = decodeSecrets(readFile(secretsPath));
    if (!profile || !secrets) {
        std::cerr << "undecodable profile or secrets\n";
        return 1;
    }
    if (const auto problem = swanctlValueProblem(*profile, *secrets)) {
        std::cerr << *problem << "\n";
        return 2;
    }
    const auto swanctl = root / kSwanctlDirectory;
    makeDirectory(root);
    makeDirectory(swanctl);
    for (const auto sub : kSwanctlSubdirectories) {
        makeDirectory(swanctl / sub);
    }
    const auto& id = profile->id;
    if (stagesCACert(profile->authMethod)) {
        writeFile(swanctl / caCertFilePath(id), profile->caCertPEM, 0600);
    }
    if (stagesClientCertAndKey(profile->authMethod)) {
        writeFile(swanctl / clientCertFilePath(id), profile->clientCertPEM, 0600);
        writeFile(swanctl / privateKeyFilePath(id), secrets->privateKeyPEM, 0600);
    }
    writeFile(swanctl / connectionFilePath(id), renderSwanctlConf(*profile, *secrets), 0600);
    writeFile(swanctl / kSwanctlConfFile, std::string(kSwanctlConfText), 0600);
    writeFile(root / kStrongswanConfFile, renderStrongswanConf(etc, root.string()), 0644);
    std::cout << strongswanName(id) << "\n";
    return 0;
}

std::string orNone(const std::optional<std::string>& value) {
    return value ? *value : "(none)";
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 5 && args[0] == "stage") {
            return stage(args[1], args[2], args[3], args[4]);
        }
        if (args.size() == 1 && args[0] == "tunnel-info") {
            const auto info = parseTunnelInfo(readAll(std::cin));
            std::cout << "vip=" << orNone(info.vip) << "\ntun=" << orNone(info.tun) << "\n";
            return 0;
        }
        if (args.size() == 1 && args[0] == "sa-listing") {
            const auto listing = readAll(std::cin);
            const auto info = parseSAListing(listing);
            std::cout << "vip=" << orNone(info.vip) << "\nremote=" << orNone(info.remoteIP)
                      << "\nestablished-installed="
                      << (listingShowsEstablishedAndInstalled(listing) ? "yes" : "no") << "\n";
            return 0;
        }
        if (args.size() == 2 && args[0] == "child-installed") {
            std::cout << (childSAInstalled(args[1], readAll(std::cin)) ? "yes" : "no") << "\n";
            return 0;
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    std::cerr << "usage: strongswan_stage_tool stage PROFILE.json SECRETS.json ETC_DIR ROOT\n"
                 "       strongswan_stage_tool tunnel-info|sa-listing < OUTPUT\n"
                 "       strongswan_stage_tool child-installed NAME < OUTPUT\n";
    return 64;
}
