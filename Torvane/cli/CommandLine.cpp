#include "Torvane/cli/CommandLine.h"

#include "Torvane/cli/Translated.h"

#include <algorithm>
#include <array>

namespace torvane::cli {
namespace {

struct CommandSpec {
    const char* name;
    /// The positional arguments; those written "[NAME]" may be left out.
    std::vector<std::string> arguments;
    std::vector<std::string> valueOptions;
    std::vector<std::string> flagOptions;
    const char* usage;
};

const std::vector<CommandSpec>& commandSpecs() {
    static const std::vector<CommandSpec> specs = {
        {"list",
         {},
         {},
         {},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl list\n"
             "  Lists the profiles in priority order: position, name, method, server, id.\n")},
        {"add",
         {},
         {"--name", "--server", "--method", "--user", "--remote-id", "--local-id", "--routes",
          "--remote-ts", "--ike-version", "--ca-cert", "--cert", "--dns", "--search-domains",
          "--from-json", "--psk-file", "--password-file", "--key-file"},
         {"--connect-on-launch"},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl add --name NAME --server HOST --method METHOD [options]\n"
             "torvanectl add --from-json FILE [options]\n"
             "  Adds a profile at the end of the list.\n"
             "  METHOD is one of psk, pskMutual, certificate, eapMSCHAPv2, eapTLS, xauth.\n"
             "  --user NAME          XAuth or EAP user name\n"
             "  --local-id ID        local IKE identity (default: from the certificate)\n"
             "  --remote-id ID       the gateway's IKE identity (default: any)\n"
             "  --routes CIDR,...    networks routed through the tunnel (default: what the\n"
             "                       gateway offers within --remote-ts)\n"
             "  --remote-ts CIDR     remote traffic selector (default 0.0.0.0/0)\n"
             "  --ike-version 1|2    default 2; xauth always uses 1, EAP methods 2\n"
             "  --ca-cert FILE       CA or gateway certificate (PEM)\n"
             "  --cert FILE          client certificate (PEM)\n"
             "  --dns IP,...         DNS servers while connected\n"
             "  --search-domains D,...\n"
             "  --connect-on-launch  connect when the tray application starts\n"
             "  --from-json FILE     a profile as JSON; the options above override it\n"
             "  Secrets are read from files, never from the command line:\n"
             "  --psk-file FILE      pre-shared key (psk, pskMutual)\n"
             "  --password-file FILE XAuth or EAP password (xauth, eapMSCHAPv2)\n"
             "  --key-file FILE      client private key, PEM (certificate, eapTLS, xauth)\n"
             "  A password or key that is not stored is asked for at connect.\n")},
        {"remove",
         {"NAME|ID"},
         {},
         {},
         QT_TRANSLATE_NOOP("torvanectl", "torvanectl remove NAME|ID\n"
                                         "  Removes a profile and its stored secrets.\n")},
        {"move",
         {"NAME|ID", "POSITION"},
         {},
         {},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl move NAME|ID POSITION\n"
             "  Moves a profile to POSITION (1 is the top, the highest priority) and\n"
             "  sends the new order to the helper.\n")},
        {"connect",
         {"NAME|ID"},
         {"--password-file"},
         {},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl connect NAME|ID [--password-file FILE]\n"
             "  Connects a profile and waits until it is connected or has failed. When\n"
             "  its password or pre-shared key is not stored, it is read from FILE, or\n"
             "  asked for on the terminal.\n")},
        {"disconnect",
         {"NAME|ID"},
         {},
         {},
         QT_TRANSLATE_NOOP("torvanectl", "torvanectl disconnect NAME|ID\n"
                                         "  Disconnects one profile.\n")},
        {"stop-all",
         {},
         {},
         {},
         QT_TRANSLATE_NOOP("torvanectl", "torvanectl stop-all\n"
                                         "  Disconnects every tunnel.\n")},
        {"force-kill",
         {},
         {},
         {},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl force-kill\n"
             "  Kills every strongSwan and DNS proxy process and restores networking.\n")},
        {"status",
         {},
         {},
         {"--watch", "--json"},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl status [--watch] [--json]\n"
             "  One line per tunnel: name, state, virtual IP, message, then bytes in,\n"
             "  bytes out, packets in, packets out (tab-separated, '-' for none). With\n"
             "  --watch, prints every new state the helper reports, the counters every\n"
             "  2 seconds, until Ctrl-C; a tunnel that goes away is shown as\n"
             "  disconnected. With --json, prints the status as one JSON object per\n"
             "  line instead, with every detail the helper reports.\n")},
        {"check",
         {},
         {},
         {},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl check\n"
             "  Asks the helper to check the tunnels that are up for leaks: routes, DNS,\n"
             "  IPv6, the kill switch and charon. One line per check, OK, WARNING or\n"
             "  FAIL, with what to do under each line that is not OK. Changes nothing.\n"
             "  Exit status 1 when a check failed.\n")},
        {"import",
         {"FILE"},
         {"--passphrase-file", "--p12-password-file"},
         {"--replace", "--dry-run"},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl import FILE [--passphrase-file FILE] [--p12-password-file FILE]\n"
             "                       [--replace] [--dry-run]\n"
             "  Imports the profiles in FILE, told apart by content: a .torvane export\n"
             "  file, a strongSwan profile (.sswan) or a configuration profile\n"
             "  (.mobileconfig, signed or not). For the last two it prints who signed the\n"
             "  file and what became of each setting, secrets masked.\n"
             "  --passphrase-file FILE    the passphrase of a .torvane file\n"
             "  --p12-password-file FILE  the password of a client certificate bundle\n"
             "                            (PKCS#12) in the file\n"
             "  --replace                 replace a profile with the same id without asking\n"
             "  --dry-run                 print the report, save nothing\n"
             "  A password not given is asked for on the terminal. Without a terminal and\n"
             "  without --replace, a profile whose id exists is not imported.\n")},
        {"export",
         {"NAME|ID", "FILE"},
         {"--passphrase-file", "--format-version"},
         {},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl export NAME|ID FILE [--passphrase-file FILE] [--format-version 1|2]\n"
             "  Writes a profile and its secrets, sealed with a passphrase, to FILE, which\n"
             "  only you can read. The passphrase protects the whole file against changes.\n"
             "  --format-version 1  the older format, for a build that cannot read the\n"
             "                      current one (2): it seals the secrets only, so the\n"
             "                      profile in it can be changed unnoticed\n")},
        {"log",
         {},
         {},
         {"--follow"},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl log [--follow]\n"
             "  Prints the helper's log lines as they come, until Ctrl-C. The helper\n"
             "  keeps no history; its past lines are in the system log under\n"
             "  'torvane-helper'.\n")},
        {"managed",
         {"check", "[DIR]"},
         {},
         {},
         QT_TRANSLATE_NOOP(
             "torvanectl",
             "torvanectl managed check [DIR]\n"
             "  Checks the managed profiles an administrator put in DIR/profiles.d, with\n"
             "  their secrets in DIR/secrets.d (DIR defaults to /etc/torvane), as the\n"
             "  helper reads them: each file's verdict (owner, mode, format, conflicts),\n"
             "  then the resulting profiles in priority order, never a secret. Runs as\n"
             "  any user. Exit status 0 when every file is accepted, else 1.\n")},
    };
    return specs;
}

const CommandSpec* findSpec(const std::string& name) {
    for (const auto& spec : commandSpecs()) {
        if (name == spec.name) {
            return &spec;
        }
    }
    return nullptr;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

std::optional<std::string> Invocation::value(const std::string& option) const {
    const auto it = values.find(option);
    if (it == values.end()) {
        return std::nullopt;
    }
    return it->second;
}

Expected<Invocation, std::string> parseCommandLine(const std::vector<std::string>& arguments) {
    Invocation invocation;
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            invocation.help = true;
        }
    }
    if (arguments.empty() || arguments.front().starts_with("-")) {
        if (invocation.help) {
            return invocation;
        }
        return Unexpected{fill(QCoreApplication::translate("torvanectl", "no command given"))};
    }
    invocation.command = arguments.front();
    const CommandSpec* spec = findSpec(invocation.command);
    if (spec == nullptr) {
        return Unexpected{fill(QCoreApplication::translate("torvanectl", "unknown command '%1'"),
                               invocation.command)};
    }
    if (invocation.help) {
        return invocation;
    }

    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (optionsEnded || !argument.starts_with("-") || argument == "-") {
            invocation.arguments.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            inlineValue = argument.substr(equals + 1);
            argument.resize(equals);
        }
        if (contains(spec->flagOptions, argument)) {
            if (inlineValue) {
                return Unexpected{
                    fill(QCoreApplication::translate("torvanectl", "%1 takes no value"), argument)};
            }
            invocation.flags.insert(argument);
            continue;
        }
        if (!contains(spec->valueOptions, argument)) {
            return Unexpected{
                fill(QCoreApplication::translate("torvanectl", "'%1' has no option %2"),
                     invocation.command, argument)};
        }
        if (invocation.values.count(argument) != 0) {
            return Unexpected{
                fill(QCoreApplication::translate("torvanectl", "%1 is given twice"), argument)};
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                return Unexpected{
                    fill(QCoreApplication::translate("torvanectl", "%1 needs a value"), argument)};
            }
            inlineValue = arguments[++i];
        }
        invocation.values[argument] = *inlineValue;
    }

    const std::size_t wanted = spec->arguments.size();
    const auto required = static_cast<std::size_t>(
        std::count_if(spec->arguments.begin(), spec->arguments.end(),
                      [](const std::string& name) { return !name.starts_with('['); }));
    if (invocation.arguments.size() < required) {
        return Unexpected{fill(QCoreApplication::translate("torvanectl", "'%1' needs %2"),
                               invocation.command, spec->arguments[invocation.arguments.size()])};
    }
    if (invocation.arguments.size() > wanted) {
        return Unexpected{
            fill(QCoreApplication::translate("torvanectl", "'%1' does not take the argument '%2'"),
                 invocation.command, invocation.arguments[wanted])};
    }
    return invocation;
}

std::string usageText() {
    std::string text = fill(QCoreApplication::translate(
        "torvanectl", "Usage: torvanectl COMMAND [ARGUMENTS] [OPTIONS]\n"
                      "Controls the Torvane VPN helper and the profiles of this user.\n"
                      "\n"
                      "Commands:\n"));
    for (const auto& spec : commandSpecs()) {
        const std::string usage = spec.usage;
        text += "  " +
                usage.substr(std::string("torvanectl ").size(),
                             usage.find('\n') - std::string("torvanectl ").size()) +
                "\n";
    }
    text += "\n" + fill(QCoreApplication::translate(
                       "torvanectl",
                       "Profiles are named by their name or id. 'torvanectl COMMAND --help' "
                       "describes\n"
                       "one command. The helper's socket is TORVANE_HELPER_SOCKET when set.\n"
                       "Exit status: 0 success, 1 failure, 2 usage error.\n"));
    return text;
}

std::string commandUsage(const std::string& command) {
    const CommandSpec* spec = findSpec(command);
    if (spec == nullptr) {
        return usageText();
    }
    return fill(QCoreApplication::translate("torvanectl", "Usage: %1"),
                fill(QCoreApplication::translate("torvanectl", spec->usage)));
}

} // namespace torvane::cli
