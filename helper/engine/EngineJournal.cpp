// Cleaning up after a predecessor that was killed (SIGKILL, a crash) before
// it could undo its changes to the machine: its journal lists them.
#include "VPNEngine.h"

#include <cstdio>
#include <limits>
#include <string>

namespace torvane {
namespace {

// The limit of one undo call that can block (a host name to resolve).
constexpr std::chrono::seconds kToolTimeLimit{10};

} // namespace

void VPNEngine::restoreFromJournal() {
    assertOnQueue(__func__);
    const std::string& path = m_env.journalPath;
    auto steps = ChangeJournal::load(path);
    if (!steps) {
        // Keep it for a person to read, and out of the next start's way.
        const std::string aside = path + ".damaged";
        std::rename(path.c_str(), aside.c_str());
        log("change journal unreadable (" + steps.error() + ") — moved to " + aside +
            "; nothing restored from it");
        return;
    }
    if (steps->empty()) {
        return;
    }
    log("the previous helper stopped without undoing its changes — restoring " +
        std::to_string(steps->size()) + " change(s) from " + path);
    // Opening the firewall now would let everything out while no tunnel
    // carries it: an engaged kill switch is held instead of undone.
    const bool holdKillSwitch = KillSwitch::wasEngaged(*steps);
    for (const auto& [key, step] : *steps) {
        if (holdKillSwitch && KillSwitch::ownsJournalKey(key)) {
            continue;
        }
        undoStep(key, step);
    }
    if (holdKillSwitch) {
        // Journals the hold, which replaces the steps undone above.
        m_killSwitch.holdAfterRestart(*steps);
        pushStatus();
    } else {
        m_journal->clear();
    }
}

void VPNEngine::undoStep(const std::string& key, const UndoStep& step) {
    assertOnQueue(__func__);
    switch (step.kind) {
    case UndoStep::Kind::tool:
        // Written by a daemon that still ran network programs; this one has
        // none, and replaying a command line from a file is not safe anyway.
        log("restore: " + key + " names no known tool — skipped");
        return;
    case UndoStep::Kind::route: {
        const auto outcome = m_env.routes.apply(
            {{RouteChange::Action::remove, {.cidr = step.cidr}}}, kToolTimeLimit);
        log("restored " + key +
            (outcome.front().ok ? std::string(": ok") : ": " + outcome.front().error));
        return;
    }
    case UndoStep::Kind::hostRoute: {
        const auto outcome = m_env.routes.deleteHostRoute(step.host, kToolTimeLimit);
        log("restored " + key + (outcome.ok ? std::string(": ok") : ": " + outcome.error));
        return;
    }
    case UndoStep::Kind::storeValue: {
        auto store = openDynamicStore({});
        if (!store) {
            log("restore of " + key + " FAILED: " + store.error());
            return;
        }
        const bool done = step.storeDictionary
                              ? (*store)->setValue(step.storeKey, *step.storeDictionary)
                              : (*store)->removeValue(step.storeKey);
        log("restored " + key + (done ? std::string(": ok") : ": " + (*store)->lastErrorText()));
        return;
    }
    case UndoStep::Kind::process: {
        const std::string pid = std::to_string(step.pid);
        if (!step.startTime) {
            // Without its start time the pid may be anybody's by now, and a
            // name says nothing about whose a process is.
            log("restore: " + key + " names pid " + pid +
                " without its start time — skipped, no process is ended by name");
            return;
        }
        const bool validPid = step.pid > 1 && step.pid <= std::numeric_limits<pid_t>::max();
        const ProcessIdentity process{static_cast<pid_t>(validPid ? step.pid : 0), *step.startTime,
                                      step.executable};
        if (!validPid || m_env.processes.end({process}).empty()) {
            log("restored " + key + ": pid " + pid + " already gone");
        } else {
            log("restored " + key + ": ended pid " + pid);
        }
        // Gone or ended now, it did not stop through our own teardown.
        if (step.processName == "charon") {
            removeCharonLeftovers();
        }
        return;
    }
    case UndoStep::Kind::ipv6Mode: {
        const auto failure = m_env.ipv6.setMode(step.service, step.ipv6Mode);
        log("restored " + key + (failure ? ": " + failure->message : std::string(": ok")));
        return;
    }
    case UndoStep::Kind::firewall: {
        const auto failure = m_env.firewall.release();
        log("restored " + key + (failure ? ": " + failure->message : std::string(": ok")));
        return;
    }
    }
}

} // namespace torvane
