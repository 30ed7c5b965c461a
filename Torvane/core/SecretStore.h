#pragma once

#include <optional>
#include <string>

namespace torvane {

/// The user's secret store: one item per account under a fixed service.
/// Production uses the Secret Service through libsecret; logic tests use an
/// in-memory store.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    /// The item's value; nothing when there is no item, the store is locked
    /// or cannot be reached.
    virtual std::optional<std::string> read(const std::string& account) = 0;
    /// Replaces the item. 0 on success, otherwise a non-zero error code that
    /// goes into the log line.
    virtual int write(const std::string& account, const std::string& value) = 0;
    /// Deletes the item; a missing item is not an error.
    virtual void remove(const std::string& account) = 0;
};

} // namespace torvane
