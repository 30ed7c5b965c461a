#pragma once

#include "helper/network/ChangeJournal.h"
#include "helper/network/Firewall.h"
#include "helper/network/Ipv6Control.h"
#include "helper/network/Routes.h"
#include "helper/process/BundleLocator.h"
#include "helper/process/OwnProcesses.h"
#include "shared/process/CommandRunner.h"

#include <functional>
#include <string>

namespace torvane {

/// What the network parts of the engine share: the command runner, the
/// routing, firewall and IPv6 backends, where the programs are, the staging
/// root and the engine's two log channels. All network work runs on the
/// engine's queue.
struct NetworkContext {
    CommandRunner& runner;
    Routes& routes;
    Firewall& firewall;
    Ipv6Control& ipv6;
    const BundleLocator& locator;
    /// Generated files live below it (e.g. dnsmasq.conf, upstream.resolv.conf).
    std::string stagingRoot;
    /// A user-visible line: system log (with the daemon prefix) and the app.
    std::function<void(const std::string&)> log;
    /// A line for the app's log only (e.g. a child program's output).
    std::function<void(const std::string&)> appLog;
    /// Where every change to the machine is recorded before it is made;
    /// none in tests that do not look at it.
    ChangeJournal* journal = nullptr;
    /// Reads the identity of a child just started, for its journal step.
    OwnProcesses* processes = nullptr;

    /// Records how to undo a change about to be made.
    void recordUndo(const std::string& key, UndoStep step) {
        if (journal != nullptr && !journal->record(key, std::move(step))) {
            log("warning: cannot write the change journal " + journal->path() +
                " — an unclean stop could not be cleaned up after");
        }
    }
    /// Records many undo steps with one journal write.
    void recordUndos(std::vector<std::pair<std::string, UndoStep>> steps) {
        if (journal != nullptr && !journal->recordAll(std::move(steps))) {
            log("warning: cannot write the change journal " + journal->path() +
                " — an unclean stop could not be cleaned up after");
        }
    }
    /// Records how to end the child `pid` just started: by its identity,
    /// so that a later daemon never ends another process that took the pid.
    void recordChild(const std::string& key, pid_t pid, const std::string& name) {
        if (journal == nullptr || processes == nullptr) {
            return;
        }
        if (const auto identity = processes->identify(pid)) {
            recordUndo(key, UndoStep::endProcess(*identity, name));
        }
    }
    /// The change has been undone.
    void forgetUndo(const std::string& key) {
        if (journal != nullptr) {
            journal->forget(key);
        }
    }
    void forgetUndos(const std::vector<std::string>& keys) {
        if (journal != nullptr) {
            journal->forgetAll(keys);
        }
    }
};

} // namespace torvane
