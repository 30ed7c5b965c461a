#pragma once

#include "shared/Expected.h"

#include <string>

namespace torvane {

/// A listening Unix stream socket for the command channel.
struct ListeningSocket {
    /// Owned by the caller from now on.
    int fd = -1;
    /// True when systemd passed the socket in (socket activation); then the
    /// socket file is systemd's and must be left alone.
    bool fromSystemd = false;
    /// The socket file we bound; empty when from systemd.
    std::string path;
};

/// Adopts the listening socket systemd passed in, if there is one;
/// otherwise creates the socket at `path` itself: the parent folder is made
/// (0755) when missing, a stale socket file left by an earlier run is
/// replaced, and the socket gets mode 0666 so every local user can connect
/// (the trust check decides who may stay). Refuses, changing nothing, when
/// `path` is taken by something that is not a socket or by a socket another
/// process still listens on. The error text says what went wrong.
Expected<ListeningSocket, std::string> acquireListeningSocket(const std::string& path);

/// Removes the socket file `socket` created, once its descriptor is closed.
/// A socket file that some process listens on by then belongs to a successor
/// and stays. Does nothing for a socket from systemd.
void removeSocketFile(const ListeningSocket& socket);

} // namespace torvane
