#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace torvane {

/// The outcome of checking one peer.
struct PeerVerdict {
    bool trusted = false;
    /// The peer's process id as the kernel reported it (0 when it is unknown
    /// or lives in a PID namespace we cannot see); goes into the refusal line.
    pid_t pid = 0;
    uid_t uid = static_cast<uid_t>(-1);
    /// When the peer started (clock ticks after boot), read while the pidfd
    /// still pinned it: together with the pid it names this very process.
    std::uint64_t startTime = 0;
    /// Why the peer was refused; empty when trusted. For diagnostics only:
    /// the refusal the daemon logs is a fixed line.
    std::string reason;
};

struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = static_cast<uid_t>(-1);
};

/// The pid and uid the kernel recorded for the peer of the connected Unix
/// socket `socketFd` (SO_PEERCRED); nothing when they cannot be read.
std::optional<PeerCredentials> peerCredentials(int socketFd);

/// Decides whether the process on the other end of a Unix socket is one of
/// the trusted client programs. Stands in for a code-signature check: the
/// peer's executable must be one of the given programs (compared by
/// canonical path and by inode), owned by root and writable by nobody else,
/// so that no other local user can have swapped it for their own. A client
/// whose program was replaced while it ran (a package upgrade) stays
/// trusted: it runs the unlinked old file, which was at the trusted path and
/// passes the same owner and mode checks.
///
/// The executable is read through a pidfd held on the peer, and the pidfd is
/// checked to still refer to a live process after the read; a peer that died
/// and had its pid recycled by another program therefore never passes.
///
/// Stateless apart from the list; safe to use from any thread.
class PeerTrust {
public:
    /// `trustedClients`: paths of the client programs. Resolved at every
    /// check, so a program installed after start-up is found; a path that
    /// does not exist simply matches nothing.
    explicit PeerTrust(std::vector<std::string> trustedClients);

    /// Checks the peer of the connected Unix stream socket `socketFd`.
    PeerVerdict checkPeer(int socketFd) const;

    /// Checks process `pid`, opening a pidfd on it.
    PeerVerdict checkProcess(pid_t pid) const;

    /// Checks process `pid` through `pidfd`, which must have been opened on
    /// that pid (the peer's own pidfd from the socket, or pidfd_open). The
    /// pidfd stays owned by the caller.
    PeerVerdict checkProcess(pid_t pid, int pidfd) const;

    const std::vector<std::string>& trustedClients() const { return m_trustedClients; }

private:
    std::vector<std::string> m_trustedClients;
};

} // namespace torvane
