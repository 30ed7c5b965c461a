// Writing and removing one tunnel's strongSwan files under the staging root.
#include "helper/engine/VPNEngine.h"
#include "helper/process/EngineError.h"
#include "helper/process/FileWriter.h"
#include "helper/strongswan/StagingLayout.h"
#include "helper/strongswan/StrongswanConfig.h"
#include "helper/strongswan/SwanctlValues.h"

#include <filesystem>
#include <sys/stat.h>

namespace torvane {
namespace {

void makePrivateDirectory(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error) {
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    }
    if (error) {
        throw EngineError("could not create " + path + ": " + error.message());
    }
}

} // namespace

void VPNEngine::stageProfile(const Tunnel& tunnel, const VPNSecrets& secrets) {
    assertOnQueue(__func__);
    const VPNProfile& profile = tunnel.profile;
    // Values end up in files charon reads as root: refuse what could change
    // the configuration's structure before anything is written.
    if (const auto problem = swanctlValueProblem(profile, secrets)) {
        throw EngineError(*problem);
    }

    const bool onlyTunnel = std::all_of(m_tunnels.begin(), m_tunnels.end(),
                                        [&](const auto& t) { return t.get() == &tunnel; });
    if (onlyTunnel) {
        // A tree left by an earlier run must never mix into a fresh start.
        std::error_code ignored;
        std::filesystem::remove_all(m_env.stagingRoot, ignored);
    }

    const std::string swanctl = m_env.stagingRoot + "/" + std::string(kSwanctlDirectory);
    makePrivateDirectory(m_env.stagingRoot);
    makePrivateDirectory(swanctl);
    for (const auto& subdirectory : kSwanctlSubdirectories) {
        makePrivateDirectory(swanctl + "/" + std::string(subdirectory));
    }

    const Uuid& id = profile.id;
    if (stagesCACert(profile.authMethod)) {
        writeFile(profile.caCertPEM, swanctl + "/" + caCertFilePath(id), 0600);
    }
    if (stagesClientCertAndKey(profile.authMethod)) {
        writeFile(profile.clientCertPEM, swanctl + "/" + clientCertFilePath(id), 0600);
        writeFile(secrets.privateKeyPEM, swanctl + "/" + privateKeyFilePath(id), 0600);
    }
    writeFile(renderSwanctlConf(profile, secrets), swanctl + "/" + connectionFilePath(id), 0600);
    writeFile(kSwanctlConfText, swanctl + "/" + std::string(kSwanctlConfFile), 0600);
    writeFile(renderStrongswanConf(m_env.locator.bundledStrongswan("etc"), m_env.stagingRoot),
              m_env.stagingRoot + "/" + std::string(kStrongswanConfFile), 0644);
}

void VPNEngine::unstageProfile(const Tunnel& tunnel) {
    assertOnQueue(__func__);
    const std::string swanctl = m_env.stagingRoot + "/" + std::string(kSwanctlDirectory);
    const Uuid& id = tunnel.profile.id;
    for (const std::string& file : {connectionFilePath(id), caCertFilePath(id),
                                    clientCertFilePath(id), privateKeyFilePath(id)}) {
        std::error_code ignored;
        std::filesystem::remove(swanctl + "/" + file, ignored);
    }
}

} // namespace torvane
