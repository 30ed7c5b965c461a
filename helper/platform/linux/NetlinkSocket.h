#pragma once

#include "helper/platform/linux/NetlinkError.h"
#include "helper/platform/linux/NetlinkMessages.h"
#include "shared/Expected.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <linux/netlink.h>
#include <variant>
#include <vector>

struct mnl_socket;

namespace torvane::netlink {

/// Called for each data message of a reply or a notification batch. The
/// message is only valid during the call.
using MessageHandler = std::function<void(const nlmsghdr&)>;

using NetlinkResult = Expected<std::monostate, NetlinkError>;

/// An rtnetlink socket of the current network namespace. Requests are
/// synchronous: `transact` returns once the kernel has answered in full.
/// Not thread-safe; one owner uses it at a time. Move-only; the socket
/// closes with its owner.
class NetlinkSocket {
public:
    /// Opens and binds a NETLINK_ROUTE socket. With `groups` (RTMGRP_*
    /// bits) the socket also receives those notifications, read with
    /// `receive`.
    static Expected<NetlinkSocket, NetlinkError> open(unsigned groups = 0);

    NetlinkSocket(NetlinkSocket&& other) noexcept;
    NetlinkSocket& operator=(NetlinkSocket&& other) noexcept;
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    ~NetlinkSocket();

    /// The descriptor, for polling when notifications were asked for.
    int fd() const;

    /// Sends `request` with a fresh sequence number and reads until the
    /// kernel acknowledges it or ends the dump; every data message on the way
    /// goes to `onMessage`. A kernel error (NLMSG_ERROR) is returned with its
    /// errno and `operation`. A dump the kernel reports as interrupted by a
    /// concurrent change is run again, a few times at most.
    NetlinkResult transact(NetlinkRequest request, const MessageHandler& onMessage,
                           const char* operation);

    /// Sends every request (each asking for an acknowledgement) in as few
    /// writes as the socket takes, then reads the acknowledgements: one
    /// result per request, in the same order. A request the kernel refused
    /// carries its errno; the others still run.
    std::vector<NetlinkResult> transactBatch(std::vector<NetlinkRequest> requests,
                                             const char* operation);

    /// How long a read may wait for the kernel before the call fails with
    /// ETIMEDOUT; zero waits for ever (the default).
    void setTimeLimit(std::chrono::milliseconds limit);

    /// Reads one batch of notifications (blocking unless the descriptor was
    /// made non-blocking) and hands each message to `onMessage`.
    NetlinkResult receive(const MessageHandler& onMessage);

private:
    explicit NetlinkSocket(mnl_socket* socket);
    NetlinkResult runOnce(NetlinkRequest& request, const MessageHandler& onMessage,
                          const char* operation);

    mnl_socket* m_socket = nullptr;
    std::uint32_t m_portId = 0;
    std::uint32_t m_sequence = 0;
};

} // namespace torvane::netlink
