#pragma once

#include "helper/network/DynamicStore.h"
#include "helper/network/Ipv6Control.h"
#include "helper/process/OwnProcesses.h"
#include "shared/Expected.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// A profile whose tunnel asked for the kill switch, and the gateway that
/// tunnel used (its address in use, else the profile's text), so that the
/// next daemon can keep that gateway reachable while the firewall holds.
struct KillSwitchProfile {
    /// Upper-case UUID text.
    std::string profileID;
    std::string gateway;

    friend bool operator==(const KillSwitchProfile&, const KillSwitchProfile&) = default;
};

/// How to undo one change the daemon made to the machine.
struct UndoStep {
    enum class Kind {
        /// A step of an older daemon that ran one of its network programs;
        /// the programs are gone, so it is logged and skipped.
        tool,
        /// Put a saved store dictionary back (none: remove the key).
        storeValue,
        /// End a process the daemon started, if it is still that process.
        process,
        /// Delete our network route to `cidr`.
        route,
        /// Delete our host route to `host`.
        hostRoute,
        /// Put an interface's IPv6 mode back.
        ipv6Mode,
        /// Delete the kill switch's firewall table.
        firewall,
    };
    Kind kind = Kind::tool;
    std::string tool{};
    std::vector<std::string> args{};
    std::string storeKey{};
    std::optional<StoreDictionary> storeDictionary{};
    std::int64_t pid = 0;
    /// The program's short name ("charon", "dnsmasq").
    std::string processName{};
    /// When the process started and what it ran, which tell it apart from a
    /// later process with its pid. A journal written before they were kept
    /// has no start time: such a step names no process that can be ended.
    std::optional<std::uint64_t> startTime{};
    std::string executable{};
    /// A network, "A.B.C.D/N" or an IPv6 one, as the route was added.
    std::string cidr{};
    /// An address or a host name, as the host route was added.
    std::string host{};
    /// The interface whose IPv6 mode to put back, and that mode.
    std::string service{};
    Ipv6Mode ipv6Mode = Ipv6Mode::off;
    /// Only on the firewall step: the profiles the kill switch is engaged
    /// for. A firewall held for profiles nobody knows any more has none.
    std::optional<std::vector<KillSwitchProfile>> killSwitchProfiles{};

    static UndoStep deleteRoute(std::string network) {
        return {.kind = Kind::route, .cidr = std::move(network)};
    }
    static UndoStep deleteHostRoute(std::string hostName) {
        return {.kind = Kind::hostRoute, .host = std::move(hostName)};
    }
    static UndoStep putBack(std::string key, std::optional<StoreDictionary> dictionary) {
        return {.kind = Kind::storeValue,
                .storeKey = std::move(key),
                .storeDictionary = std::move(dictionary)};
    }
    static UndoStep restoreIpv6Mode(std::string serviceName, Ipv6Mode mode) {
        return {.kind = Kind::ipv6Mode, .service = std::move(serviceName), .ipv6Mode = mode};
    }
    static UndoStep releaseFirewall(std::optional<std::vector<KillSwitchProfile>> profiles) {
        return {.kind = Kind::firewall, .killSwitchProfiles = std::move(profiles)};
    }
    static UndoStep endProcess(const ProcessIdentity& process, std::string name) {
        return {.kind = Kind::process,
                .pid = process.pid,
                .processName = std::move(name),
                .startTime = process.startTime,
                .executable = process.executable};
    }

    friend bool operator==(const UndoStep&, const UndoStep&) = default;
};

/// A record, on disk, of every change the daemon has made to the machine
/// and how to undo it, so that a daemon killed with SIGKILL (or crashing)
/// can be cleaned up after by the next one. Each step is written before the
/// change it undoes is made; the file is replaced atomically on every write.
/// An undo of a change that never happened does nothing harmful. Keys added
/// later are optional and ignored by older readers, so a journal stays
/// readable across an update of the daemon.
class ChangeJournal {
public:
    explicit ChangeJournal(std::string path);

    /// Records `step` under `key` (replacing an older step with the same
    /// key). False when the file cannot be written.
    bool record(const std::string& key, UndoStep step);
    /// Records many steps with one write of the file, in order. False when
    /// it cannot be written.
    bool recordAll(std::vector<std::pair<std::string, UndoStep>> steps);
    /// Drops the step once its change has been undone.
    void forget(const std::string& key);
    /// Drops many steps with one write of the file.
    void forgetAll(const std::vector<std::string>& keys);
    /// Forgets everything and removes the file.
    void clear();

    const std::string& path() const { return m_path; }

    /// The steps a journal file lists, most recent first (the order to undo
    /// them in). Nothing when there is no file; an error for a damaged one.
    static Expected<std::vector<std::pair<std::string, UndoStep>>, std::string>
    load(const std::string& path);
    /// The steps of a journal file's text, as `load` returns them.
    static Expected<std::vector<std::pair<std::string, UndoStep>>, std::string>
    parse(std::string_view text);

private:
    bool save();

    std::string m_path;
    std::uint64_t m_lastSequence = 0;
    struct Entry {
        std::uint64_t sequence = 0;
        UndoStep step;
    };
    std::map<std::string, Entry> m_entries;
};

} // namespace torvane
