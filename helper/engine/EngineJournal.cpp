// Cleaning up after a predecessor that was killed (SIGKILL, a crash) before
// it could undo its changes to the machine: its journal lists them.
#include "helper/engine/VPNEngine.h"

#include <cstdio>
#include <string>

namespace torvane {

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
        if (step.kind == UndoStep::Kind::process) {
            m_charon.endJournaledProcess(key, step);
        } else {
            m_network.undo(key, step);
        }
    }
    if (holdKillSwitch) {
        // Journals the hold, which replaces the steps undone above.
        m_network.holdKillSwitchAfterRestart(*steps);
        pushStatus();
    } else {
        m_journal->clear();
    }
}

} // namespace torvane
