#pragma once

#include "shared/Expected.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace torvane {

/// One entry of a store dictionary: a text or a list of texts.
using StoreValue = std::variant<std::string, std::vector<std::string>>;
/// A dictionary published under one store key.
using StoreDictionary = std::map<std::string, StoreValue>;

/// The resolver configuration the system uses right now, as read (and only
/// read) for the leak check.
struct ResolverInUse {
    /// The servers the resolver asks, in order.
    std::vector<std::string> servers;
    /// Where they are set, for messages: a file, or a resolver's link.
    std::string place;
    /// Domains written with our servers (routing domains as "~NAME") that
    /// the place no longer holds, so names may go to other servers.
    std::vector<std::string> missingDomains;
    /// Why the configuration could not be read; empty when it was.
    std::string error;
};

/// The system configuration store: keys such as "State:/Network/Global/IPv4"
/// or "State:/Network/Service/<ID>/DNS" naming dictionaries the network
/// publishes. The engine reads the primary service and rewrites its DNS
/// through this seam; one implementation per platform, and an in-memory one
/// for tests.
///
/// All calls are made on the engine queue. The change handler given at
/// creation also runs there (implementations post it through the engine's
/// post function), never from a watcher thread directly.
class DynamicStore {
public:
    /// Receives the keys that changed, filtered by the notification keys.
    using ChangeHandler = std::function<void(const std::vector<std::string>& changedKeys)>;
    /// Runs a job on the engine queue after everything posted before it.
    using PostFunction = std::function<void(std::function<void()>)>;

    virtual ~DynamicStore() = default;

    /// The dictionary under `key`, or nothing when the key is absent.
    virtual std::optional<StoreDictionary> copyValue(const std::string& key) = 0;
    /// Publishes `value` under `key`; false on failure (see lastErrorText).
    virtual bool setValue(const std::string& key, const StoreDictionary& value) = 0;
    /// Removes `key`; false on failure (see lastErrorText).
    virtual bool removeValue(const std::string& key) = 0;
    /// The reason of the last failed setValue or removeValue.
    virtual std::string lastErrorText() const = 0;
    /// Which changes reach the handler: exact `keys`, and `patterns` (regular
    /// expressions matched against the whole key). Empty lists silence it.
    virtual void setNotificationKeys(const std::vector<std::string>& keys,
                                     const std::vector<std::string>& patterns) = 0;
    /// The resolver configuration in force where this backend keeps it
    /// apart from the resolv.conf file (a resolver daemon's per-link
    /// settings); nothing when that file is the whole story. Changes nothing.
    virtual std::optional<ResolverInUse> resolverInUse() { return std::nullopt; }
};

/// Creates a store session delivering changes to `onChange`, or returns the
/// reason it could not.
using DynamicStoreFactory = std::function<Expected<std::unique_ptr<DynamicStore>, std::string>(
    DynamicStore::ChangeHandler onChange)>;

/// The text of a dictionary entry, or nothing when it is absent or a list.
inline std::optional<std::string> storeText(const StoreDictionary& dictionary,
                                            const std::string& key) {
    const auto it = dictionary.find(key);
    if (it == dictionary.end()) {
        return std::nullopt;
    }
    if (const auto* text = std::get_if<std::string>(&it->second)) {
        return *text;
    }
    return std::nullopt;
}

/// The list of a dictionary entry, or nothing when it is absent or a text.
inline std::optional<std::vector<std::string>> storeList(const StoreDictionary& dictionary,
                                                         const std::string& key) {
    const auto it = dictionary.find(key);
    if (it == dictionary.end()) {
        return std::nullopt;
    }
    if (const auto* list = std::get_if<std::vector<std::string>>(&it->second)) {
        return *list;
    }
    return std::nullopt;
}

} // namespace torvane
