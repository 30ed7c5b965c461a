#include "Torvane/cli/Torvanectl.h"

#include "Torvane/cli/ImportReportText.h"
#include "Torvane/cli/ManagedCheck.h"
#include "Torvane/cli/SecretInput.h"
#include "Torvane/cli/Translated.h"
#include "Torvane/core/ExportFile.h"
#include "Torvane/core/InterruptNotifier.h"
#include "Torvane/core/PrivateFile.h"
#include "Torvane/core/ProfileStore.h"
#include "shared/import/ProfileImporter.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <set>

#include <QCoreApplication>

namespace torvane::cli {
namespace {

void say(const std::string& text) {
    std::cout << text << '\n' << std::flush;
}

void complain(const std::string& text) {
    std::cerr << "torvanectl: " << text << '\n' << std::flush;
}

int reportError(const CommandError& error) {
    complain(error.message);
    if (error.exitStatus == 2) {
        std::cerr << fill(Torvanectl::tr("Run 'torvanectl --help' for usage.")) << '\n';
    }
    return error.exitStatus;
}

/// One tunnel as a line: name, state, virtual IP, message, then bytes in,
/// bytes out, packets in, packets out; tab-separated, "-" for what is
/// absent. The counters come last so that scripts reading the first four
/// columns keep working.
std::string tunnelLine(const std::string& name, VPNConnState state,
                       const std::optional<std::string>& vip,
                       const std::optional<std::string>& message,
                       const std::optional<VPNSaDetails>& sa) {
    auto orDash = [](const std::optional<std::string>& text) {
        return text && !text->empty() ? *text : std::string("-");
    };
    std::string line =
        name + '\t' + std::string(rawValue(state)) + '\t' + orDash(vip) + '\t' + orDash(message);
    for (const std::int64_t VPNSaDetails::*counter :
         {&VPNSaDetails::bytesIn, &VPNSaDetails::bytesOut, &VPNSaDetails::packetsIn,
          &VPNSaDetails::packetsOut}) {
        line += '\t' + (sa ? std::to_string((*sa).*counter) : std::string("-"));
    }
    return line;
}

std::string tunnelLine(const VPNTunnelStatus& tunnel) {
    return tunnelLine(tunnel.profileName, tunnel.state, tunnel.assignedVIP, tunnel.message,
                      tunnel.tunnelSA);
}

/// A connected tunnel whose counters the helper has not reported yet.
bool lacksCounters(const VPNRuntimeStatus& status) {
    return std::any_of(status.tunnels.begin(), status.tunnels.end(), [](const auto& tunnel) {
        return tunnel.state == VPNConnState::connected && !tunnel.tunnelSA;
    });
}

} // namespace

Torvanectl::Torvanectl(HelperClient& helper, ProfileStore& store, QObject* parent)
    : QObject(parent), m_helper(helper), m_store(store), m_manager(helper, store),
      m_hop(std::make_shared<ThreadHop>(this)) {
    m_pollTimer.setInterval(200);
    m_limitTimer.setSingleShot(true);
}

Torvanectl::~Torvanectl() {
    m_hop->release();
}

int Torvanectl::run(const Invocation& invocation) {
    const std::string& command = invocation.command;
    if (command == "list") {
        return list();
    }
    if (command == "add") {
        return add(invocation);
    }
    if (command == "remove") {
        return remove(invocation);
    }
    if (command == "move") {
        return move(invocation);
    }
    if (command == "connect") {
        return connectProfile(invocation);
    }
    if (command == "disconnect") {
        return disconnectProfile(invocation);
    }
    if (command == "stop-all") {
        return stopAll();
    }
    if (command == "force-kill") {
        return forceKill();
    }
    if (command == "status") {
        return status(invocation);
    }
    if (command == "check") {
        return check();
    }
    if (command == "import") {
        return importFile(invocation);
    }
    if (command == "export") {
        return exportProfile(invocation);
    }
    if (command == "log") {
        return log();
    }
    if (command == "managed") {
        return managedCommand(invocation);
    }
    return reportError({fill(tr("unknown command '%1'"), command), 2});
}

// --- the event loop ------------------------------------------------------

void Torvanectl::withDaemon(std::function<void()> next) {
    m_helper.establishConnection(ThreadHop::wrap(m_hop, [this, next](bool reachable) {
        if (!reachable) {
            complain(fill(tr("cannot reach the Torvane helper (is torvane-helper running? The "
                             "system log has the details)")));
            finish(1);
            return;
        }
        next();
    }));
}

int Torvanectl::runLoop() {
    InterruptNotifier interrupts;
    QObject::connect(&interrupts, &InterruptNotifier::interrupted, this, [this] {
        if (!m_endsOnInterrupt) {
            complain(fill(tr("interrupted")));
        }
        finish(m_endsOnInterrupt ? 0 : 1);
    });
    if (m_exitStatus) {
        return *m_exitStatus;
    }
    return QCoreApplication::exec();
}

void Torvanectl::finish(int exitStatus) {
    if (m_exitStatus) {
        return;
    }
    m_exitStatus = exitStatus;
    m_pollTimer.stop();
    m_limitTimer.stop();
    QCoreApplication::exit(exitStatus);
}

void Torvanectl::finishWithReply(const HelperResult& result) {
    if (result.code == 0) {
        say(result.message);
        finish(0);
    } else {
        complain(result.message);
        finish(1);
    }
}

// --- profiles ---------------------------------------------------------------

int Torvanectl::list() {
    // The administrator's profiles come from the daemon. Only its socket:
    // listing never asks for authorization, and without the daemon the
    // user's own list is still worth printing.
    m_helper.reconnect(ThreadHop::wrap(m_hop, [this](bool reachable) {
        if (!reachable) {
            complain(fill(tr("the helper cannot be reached; managed profiles are not listed")));
            finish(0);
            return;
        }
        m_manager.refreshManagedProfiles([this] { finish(0); });
    }));
    runLoop();
    const auto profiles = m_manager.shownProfiles();
    if (profiles.empty()) {
        std::cerr << fill(tr("No profiles. 'torvanectl add --help' shows how to add one.")) << '\n';
        return 0;
    }
    std::vector<VPNProfile> managed;
    for (const auto& one : m_manager.managedProfiles()) {
        managed.push_back(one.profile);
    }
    std::cout << formatProfileList(m_store.profiles(), managed) << std::flush;
    return 0;
}

void Torvanectl::withProfile(const std::string& nameOrId,
                             std::function<void(Expected<FoundProfile, CommandError>)> next) {
    withDaemon([this, nameOrId, next] {
        // A name may be the administrator's: managed profiles first, as
        // `list` shows them.
        m_manager.refreshManagedProfiles(
            [this, nameOrId, next] { next(findProfile(m_manager.shownProfiles(), nameOrId)); });
    });
}

int Torvanectl::add(const Invocation& invocation) {
    auto made = profileFromOptions(invocation, m_store.profiles());
    if (!made) {
        return reportError(made.error());
    }
    const VPNProfile added = m_store.add(made->profile);
    say(fill(tr("Added '%1' (%2) at position %3"), added.name, added.id.upperText(),
             std::to_string(m_store.profiles().size())));
    if (made->secrets && !m_store.saveSecrets(*made->secrets, added.id)) {
        complain(fill(tr("the profile was added, but its secrets could not be stored (is a "
                         "Secret Service running and unlocked?)")));
        return 1;
    }
    return 0;
}

int Torvanectl::remove(const Invocation& invocation) {
    auto found = findProfile(m_store.profiles(), invocation.arguments[0]);
    if (!found) {
        return reportError(found.error());
    }
    m_store.remove(found->profile);
    say(fill(tr("Removed '%1'"), found->profile.name));
    return 0;
}

int Torvanectl::move(const Invocation& invocation) {
    auto found = findProfile(m_store.profiles(), invocation.arguments[0]);
    if (!found) {
        return reportError(found.error());
    }
    const std::string& text = invocation.arguments[1];
    const std::size_t count = m_store.profiles().size();
    std::size_t position = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), position);
    if (error != std::errc() || end != text.data() + text.size() || position < 1 ||
        position > count) {
        return reportError({fill(tr("POSITION must be a number from 1 to %1, not '%2'"),
                                 std::to_string(count), text),
                            2});
    }
    const std::size_t from = found->position;
    const std::size_t to = position - 1;
    // List-move semantics: the element lands before the one at the offset.
    m_store.move({static_cast<int>(from)}, static_cast<int>(to > from ? to + 1 : to));
    std::cout << formatProfileList(m_store.profiles()) << std::flush;

    std::vector<Uuid> order;
    for (const auto& profile : m_store.profiles()) {
        order.push_back(profile.id);
    }
    withDaemon([this, order] {
        m_manager.pushPriorities(order, [this](const HelperResult& result) {
            if (result.code != 0) {
                complain(result.message);
            }
            finish(result.code == 0 ? 0 : 1);
        });
    });
    const int exitStatus = runLoop();
    if (exitStatus != 0) {
        complain(fill(tr("the new order is saved, but the helper has not applied it")));
    }
    return exitStatus;
}

// --- daemon commands ------------------------------------------------------

int Torvanectl::connectProfile(const Invocation& invocation) {
    m_passwordFile = invocation.value("--password-file");
    m_manager.setPasswordPrompt([this](const VPNProfile& asked, const QString& label) {
        const std::string what = label.toStdString();
        if (m_passwordFile) {
            auto secret = readSecretFile(*m_passwordFile);
            if (!secret) {
                m_promptError = secret.error();
                return std::optional<std::string>{};
            }
            return std::optional<std::string>{std::move(*secret)};
        }
        if (!stdinIsTerminal()) {
            m_promptError = fill(tr("'%1' has no stored %2; give it with --password-file FILE or "
                                    "run on a terminal"),
                                 asked.name, what);
            return std::optional<std::string>{};
        }
        auto typed = readHiddenLine(fill(tr("%1 for '%2': "), what, asked.name));
        if (!typed || typed->empty()) {
            m_promptError = fill(tr("no %1 given"), what);
        }
        return typed;
    });

    withProfile(invocation.arguments[0], [this](const Expected<FoundProfile, CommandError>& found) {
        if (!found) {
            finish(reportError(found.error()));
            return;
        }
        const VPNProfile profile = found->profile;
        const auto secrets = m_manager.resolveSecrets(profile);
        if (!secrets) {
            complain(m_promptError.empty() ? fill(tr("no password given")) : m_promptError);
            finish(1);
            return;
        }
        m_watchedID = profile.id.upperText();
        m_watchedName = profile.name;
        QObject::connect(&m_manager, &ConnectionManager::statusChanged, this,
                         [this] { printTransition(); });
        // The reply only comes once the tunnel is up or has failed; until
        // then the snapshots show how far it got. Polling rather than
        // subscribing leaves the daemon's one subscriber (the tray app, a
        // `status --watch`) in place.
        QObject::connect(&m_pollTimer, &QTimer::timeout, this, [this] {
            if (m_pollPending) {
                return;
            }
            m_pollPending = true;
            m_manager.refreshStatus([this] { m_pollPending = false; });
        });
        QObject::connect(&m_limitTimer, &QTimer::timeout, this, [this] {
            complain(fill(tr("no answer from the helper within %1 s; '%2' may still be connecting"),
                          std::to_string(kConnectLimitSeconds), m_watchedName));
            finish(1);
        });
        m_manager.connect(profile, *secrets, [this](HelperResult result) {
            m_manager.refreshStatus([this, result] { finishWithReply(result); });
        });
        m_pollTimer.start();
        m_limitTimer.start(kConnectLimitSeconds * 1000);
    });
    return runLoop();
}

void Torvanectl::printTransition() {
    const VPNTunnelStatus* tunnel = m_manager.status().tunnel(m_watchedID);
    std::string line;
    if (tunnel != nullptr) {
        line = tunnelLine(*tunnel);
    } else if (!m_lastTransition.empty()) {
        line = tunnelLine(m_watchedName, VPNConnState::disconnected, std::nullopt, std::nullopt,
                          std::nullopt);
    }
    if (!line.empty() && line != m_lastTransition) {
        m_lastTransition = line;
        say(line);
    }
}

int Torvanectl::disconnectProfile(const Invocation& invocation) {
    const std::string nameOrId = invocation.arguments[0];
    withProfile(nameOrId, [this, nameOrId](const Expected<FoundProfile, CommandError>& found) {
        std::optional<Uuid> id;
        if (found) {
            id = found->profile.id;
        } else if (const auto parsed = Uuid::parse(nameOrId)) {
            // A tunnel may outlive its profile; its id still stops it.
            id = parsed;
        } else {
            finish(reportError(found.error()));
            return;
        }
        m_manager.disconnect(*id, [this](HelperResult result) { finishWithReply(result); });
    });
    return runLoop();
}

int Torvanectl::stopAll() {
    withDaemon([this] {
        m_manager.disconnectAll([this](HelperResult result) { finishWithReply(result); });
    });
    return runLoop();
}

int Torvanectl::forceKill() {
    withDaemon([this] {
        m_manager.forceKillAll([this](HelperResult result) { finishWithReply(result); });
    });
    return runLoop();
}

void Torvanectl::printSnapshot(const VPNRuntimeStatus& previous, const VPNRuntimeStatus& current) {
    if (m_printsJson) {
        // One object per line, so that a script can read a watch line by line.
        std::cout << encodeRuntimeStatus(current) << '\n' << std::flush;
        return;
    }
    std::string text;
    for (const auto& tunnel : current.tunnels) {
        text += tunnelLine(tunnel) + '\n';
    }
    // The daemon drops a stopped tunnel from its list; say so.
    for (const auto& gone : previous.tunnels) {
        if (current.tunnel(gone.profileID) == nullptr) {
            text += tunnelLine(gone.profileName, VPNConnState::disconnected, std::nullopt,
                               std::nullopt, std::nullopt) +
                    '\n';
        }
    }
    if (text.empty()) {
        text = fill(tr("no tunnels")) + '\n';
    }
    if (current.killSwitchHolding) {
        text +=
            fill(tr("%1 — torvanectl stop-all lifts it"),
                 ConnectionManager::tr(ConnectionManager::kKillSwitchHoldingText).toStdString()) +
            '\n';
    }
    std::cout << text << std::flush;
}

int Torvanectl::status(const Invocation& invocation) {
    const bool watch = invocation.flag("--watch");
    m_printsJson = invocation.flag("--json");
    m_endsOnInterrupt = watch;
    withDaemon([this, watch] {
        m_manager.refreshStatus([this, watch] {
            if (!watch && lacksCounters(m_manager.status())) {
                printOnceCountersArrive();
                return;
            }
            printSnapshot({}, m_manager.status());
            m_printedStatus = m_manager.status();
            if (!watch) {
                finish(0);
                return;
            }
            QObject::connect(&m_manager, &ConnectionManager::statusChanged, this, [this] {
                if (!m_printsJson) {
                    std::cout << '\n';
                }
                printSnapshot(m_printedStatus, m_manager.status());
                m_printedStatus = m_manager.status();
            });
            subscribe();
        });
    });
    return runLoop();
}

int Torvanectl::check() {
    withDaemon([this] {
        m_helper.leakCheck(ThreadHop::wrap(
            m_hop, [this](const Expected<std::vector<LeakFinding>, std::string>& findings) {
                if (!findings) {
                    complain(fill(tr("the leak check could not be run: %1"), findings.error()));
                    finish(1);
                    return;
                }
                if (findings->empty()) {
                    say(fill(tr("No tunnel is up: there is nothing to check.")));
                    finish(0);
                    return;
                }
                bool failed = false;
                for (const auto& finding : *findings) {
                    // The level words stay untranslated so that scripts can
                    // match them.
                    std::cout << finding.level << "  " << finding.check << ": " << finding.text
                              << '\n';
                    if (!finding.hint.empty()) {
                        std::cout << "    " << finding.hint << '\n';
                    }
                    failed = failed || finding.level == kLeakFail;
                }
                std::cout << std::flush;
                finish(failed ? 1 : 0);
            }));
    });
    return runLoop();
}

void Torvanectl::printOnceCountersArrive() {
    // The helper reads the counters only while someone follows the status,
    // and at once when the first one starts to: follow it until they come,
    // or print what there is.
    auto printAndFinish = [this] {
        if (m_exitStatus) {
            return;
        }
        printSnapshot({}, m_manager.status());
        finish(0);
    };
    QObject::connect(&m_manager, &ConnectionManager::statusChanged, this, [this, printAndFinish] {
        if (!lacksCounters(m_manager.status())) {
            printAndFinish();
        }
    });
    QObject::connect(&m_limitTimer, &QTimer::timeout, this, printAndFinish);
    m_limitTimer.start(kCountersLimitMilliseconds);
    m_helper.subscribe(ThreadHop::wrap(m_hop, [printAndFinish](const HelperResult& result) {
        if (result.code != 0) {
            printAndFinish();
        }
    }));
}

int Torvanectl::log() {
    m_endsOnInterrupt = true;
    withDaemon([this] {
        QObject::connect(&m_manager, &ConnectionManager::logLineAppended, this,
                         [](const QString& line) { say(line.toStdString()); });
        subscribe();
    });
    return runLoop();
}

void Torvanectl::subscribe() {
    m_helper.subscribe(ThreadHop::wrap(m_hop, [this](const HelperResult& result) {
        if (result.code != 0) {
            complain(result.message);
            finish(1);
        }
    }));
}

// --- export files -----------------------------------------------------------

Expected<std::string, CommandError>
Torvanectl::passphrase(const Invocation& invocation, const std::string& prompt, bool confirm) {
    if (const auto path = invocation.value("--passphrase-file")) {
        auto secret = readSecretFile(*path);
        if (!secret) {
            return Unexpected{CommandError{secret.error(), 1}};
        }
        return std::move(*secret);
    }
    if (!stdinIsTerminal()) {
        return Unexpected{CommandError{
            fill(tr("a passphrase is needed; give it with --passphrase-file FILE or run on a "
                    "terminal")),
            1}};
    }
    auto typed = readHiddenLine(prompt);
    if (!typed || typed->empty()) {
        return Unexpected{CommandError{fill(tr("no passphrase given")), 1}};
    }
    if (confirm) {
        const auto again = readHiddenLine(fill(tr("Repeat the passphrase: ")));
        if (!again || *again != *typed) {
            return Unexpected{CommandError{fill(tr("the passphrases differ")), 1}};
        }
    }
    return std::move(*typed);
}

int Torvanectl::importFile(const Invocation& invocation) {
    const std::string& path = invocation.arguments[0];
    const auto data = readInputFile(path);
    if (!data) {
        return reportError({data.error(), 1});
    }
    const auto document = ExportFile::readDocument(*data);
    if (!document) {
        if (document.error().kind() != ExportFileError::Kind::notATorvaneFile) {
            return reportError({path + ": " + document.error().message(), 1});
        }
        // What the file is, is told by its content: people rename files, and
        // mail programs do too.
        if (detectImportFormat(*data) == ImportFormat::unknown) {
            return reportError({fill(tr("%1 is neither a Torvane export file (.torvane) nor a "
                                        "strongSwan (.sswan) or configuration profile "
                                        "(.mobileconfig)"),
                                     path),
                                1});
        }
        return importOtherClientFile(invocation, *data);
    }
    const auto secret =
        passphrase(invocation, fill(tr("Passphrase for '%1': "), document->name), false);
    if (!secret) {
        return reportError(secret.error());
    }
    auto opened = ExportFile::decode(*document, *secret);
    if (!opened) {
        return reportError({path + ": " + opened.error().message(), 1});
    }
    auto [profile, secrets] = std::move(*opened);
    if (invocation.flag("--dry-run")) {
        say(fill(tr("%1 holds '%2'; nothing was saved (--dry-run)"), path, profile.name));
        return 0;
    }
    const bool nameTaken = findProfile(m_store.profiles(), profile.name).hasValue();
    const auto [imported, secretsSaved] = m_store.importProfile(std::move(profile), secrets);
    say(fill(tr("Imported '%1' (%2) at position %3"), imported.name, imported.id.upperText(),
             std::to_string(m_store.profiles().size())));
    if (nameTaken) {
        std::cerr << fill(tr("Another profile has the same name; name this one by its id."))
                  << '\n';
    }
    if (!secretsSaved) {
        complain(fill(tr("the profile was imported, but its secrets could not be stored (is a "
                         "Secret Service running and unlocked?)")));
        return 1;
    }
    return 0;
}

int Torvanectl::importOtherClientFile(const Invocation& invocation, const std::string& data) {
    const std::string& path = invocation.arguments[0];
    const auto passwordFile = invocation.value("--p12-password-file");
    std::string promptError;
    std::set<std::string> triedFromFile;
    ImportOptions options;
    options.askPassword = [&](const std::string& what, bool again) -> std::optional<std::string> {
        if (passwordFile) {
            // The file holds one password: once it has been tried, asking
            // again would only try it again.
            if (!triedFromFile.insert(what).second) {
                promptError =
                    fill(tr("the password in %1 does not open the %2"), *passwordFile, what);
                return std::nullopt;
            }
            auto secret = readSecretFile(*passwordFile);
            if (!secret) {
                promptError = secret.error();
                return std::nullopt;
            }
            return std::move(*secret);
        }
        if (!stdinIsTerminal()) {
            promptError = fill(tr("the %1 needs a password; give it with --p12-password-file "
                                  "FILE or run on a terminal"),
                               what);
            return std::nullopt;
        }
        auto typed = readHiddenLine(again ? fill(tr("Wrong password. Password for the %1: "), what)
                                          : fill(tr("Password for the %1: "), what));
        if (!typed || typed->empty()) {
            promptError = fill(tr("no password given for the %1"), what);
            return std::nullopt;
        }
        return typed;
    };
    auto imported = importProfileFile(data, options);
    if (!imported) {
        return reportError(
            {path + ": " + (promptError.empty() ? imported.error().message : promptError), 1});
    }
    const std::string formatName = detectImportFormat(data) == ImportFormat::sswan
                                       ? fill(tr("strongSwan profile (.sswan)"))
                                       : fill(tr("configuration profile (.mobileconfig)"));
    std::cout << importReportText(path, formatName, *imported) << std::flush;

    const auto existing = [this](const Uuid& id) -> std::optional<VPNProfile> {
        const auto& profiles = m_store.profiles();
        const auto it = std::find_if(profiles.begin(), profiles.end(),
                                     [&](const VPNProfile& p) { return p.id == id; });
        return it == profiles.end() ? std::nullopt : std::optional<VPNProfile>(*it);
    };
    if (invocation.flag("--dry-run")) {
        for (const auto& item : imported->profiles) {
            if (const auto old = existing(item.profile.id)) {
                say(fill(tr("'%1' would replace the profile '%2' with the same id"),
                         item.profile.name, old->name));
            }
        }
        say(fill(tr("Nothing was saved (--dry-run).")));
        return 0;
    }

    std::vector<std::string> refusals;
    bool secretsLost = false;
    for (auto& item : imported->profiles) {
        VPNProfile& profile = item.profile;
        const std::string id = profile.id.upperText();
        const auto old = existing(profile.id);
        if (!old) {
            const bool nameTaken = findProfile(m_store.profiles(), profile.name).hasValue();
            const auto [added, secretsSaved] = m_store.importProfile(profile, item.secrets);
            say(fill(tr("Imported '%1' (%2) at position %3"), added.name, id,
                     std::to_string(m_store.profiles().size())));
            if (nameTaken) {
                std::cerr << fill(tr("Another profile has the same name; name this one by its id."))
                          << '\n';
            }
            secretsLost = secretsLost || !secretsSaved;
            continue;
        }
        if (!invocation.flag("--replace")) {
            if (!stdinIsTerminal()) {
                refusals.push_back(fill(tr("'%1' was not imported: the profile '%2' has its id "
                                           "%3; give --replace to replace it"),
                                        profile.name, old->name, id));
                continue;
            }
            const auto answer = readLine(fill(tr("Replace the profile '%1' (%2) with the imported "
                                                 "'%3'? [y/N] "),
                                              old->name, id, profile.name));
            const std::string yes = fill(tr("y", "the answer that confirms [y/N]"));
            if (!answer || (*answer != "y" && *answer != "Y" && *answer != yes)) {
                refusals.push_back(fill(tr("'%1' was not imported: the profile '%2' with its id "
                                           "was kept"),
                                        profile.name, old->name));
                continue;
            }
        }
        // The file replaces the settings; a password the user stored that the
        // file does not carry (a .sswan never holds one) stays.
        VPNSecrets secrets = m_store.secrets(profile.id);
        if (!item.secrets.xauthPassword.empty()) {
            secrets.xauthPassword = item.secrets.xauthPassword;
        }
        if (!item.secrets.privateKeyPEM.empty()) {
            secrets.privateKeyPEM = item.secrets.privateKeyPEM;
        }
        m_store.update(profile);
        say(fill(tr("Replaced '%1' (%2) with '%3'"), old->name, id, profile.name));
        secretsLost = secretsLost || !m_store.saveSecrets(secrets, profile.id);
    }
    for (const auto& refusal : refusals) {
        complain(refusal);
    }
    if (secretsLost) {
        complain(fill(tr("the profile was imported, but its secrets could not be stored (is a "
                         "Secret Service running and unlocked?)")));
    }
    return refusals.empty() && !secretsLost ? 0 : 1;
}

int Torvanectl::exportProfile(const Invocation& invocation) {
    std::int64_t version = ExportFile::kVersion;
    if (const auto given = invocation.value("--format-version")) {
        if (*given != "1" && *given != "2") {
            return reportError({fill(tr("--format-version must be 1 or 2")), 2});
        }
        version = *given == "1" ? ExportFile::kLegacyVersion : ExportFile::kVersion;
    }
    auto found = findProfile(m_store.profiles(), invocation.arguments[0]);
    if (!found) {
        return reportError(found.error());
    }
    const std::string& path = invocation.arguments[1];
    const VPNSecrets secrets = m_store.secrets(found->profile.id);
    const auto secret =
        passphrase(invocation, fill(tr("Passphrase to protect '%1': "), found->profile.name), true);
    if (!secret) {
        return reportError(secret.error());
    }
    const auto data = ExportFile::makeExportData(found->profile, secrets, *secret, version);
    if (!data) {
        return reportError({data.error().message(), 1});
    }
    if (const auto error = writePrivateFile(path, *data)) {
        return reportError({fill(tr("cannot write %1: %2"), path, *error), 1});
    }
    say(fill(tr("Exported '%1' to %2"), found->profile.name, path));
    if (secrets == VPNSecrets{}) {
        std::cerr << fill(tr("No secrets are stored for this profile; the file holds none."))
                  << '\n';
    }
    return 0;
}

} // namespace torvane::cli
