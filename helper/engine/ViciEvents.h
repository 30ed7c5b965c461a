#pragma once

#include <functional>
#include <memory>
#include <string>

namespace torvane {

/// An event subscription on charon's VICI socket. Events only tell the
/// engine that something changed; it then re-reads the SA listing, so no
/// event payload is exposed.
class ViciEvents {
public:
    virtual ~ViciEvents() = default;

    /// Called on the library's event thread with the event's name. Must only
    /// hand the event on (to the engine queue).
    std::function<void(const std::string& name)> onEvent;

    /// Subscribes to `event`; false when charon refused.
    virtual bool registerEvent(const std::string& event) = 0;
    /// Unsubscribes everything and disconnects. Idempotent; the destructor
    /// closes too.
    virtual void close() = 0;
};

/// Opens VICI event subscriptions; a seam so engine tests need no charon.
class ViciConnector {
public:
    virtual ~ViciConnector() = default;
    /// Null when the socket cannot be reached.
    virtual std::unique_ptr<ViciEvents> connect(const std::string& uri) = 0;
};

} // namespace torvane
