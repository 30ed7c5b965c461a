#pragma once

#include "helper/network/DynamicStore.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// An in-memory DynamicStore for unit tests. Tests publish values as the
/// network would (without notifying), fire change notifications by hand and
/// read back every write the code under test made, in order.
class FakeDynamicStore final : public DynamicStore {
public:
    /// One write or removal made through the seam.
    struct Operation {
        enum class Kind { set, remove } kind;
        std::string key;
        StoreDictionary value;
    };

    explicit FakeDynamicStore(ChangeHandler onChange = {}) : m_onChange(std::move(onChange)) {}

    std::optional<StoreDictionary> copyValue(const std::string& key) override;
    bool setValue(const std::string& key, const StoreDictionary& value) override;
    bool removeValue(const std::string& key) override;
    std::string lastErrorText() const override { return m_lastError; }
    void setNotificationKeys(const std::vector<std::string>& keys,
                             const std::vector<std::string>& patterns) override;

    /// Sets or clears a value as the system would, without recording it.
    void publish(const std::string& key, std::optional<StoreDictionary> value);
    /// Makes every following setValue fail with `errorText`, or succeed again
    /// with nothing.
    void failWrites(std::optional<std::string> errorText);
    /// Delivers a change of `keys` to the handler, filtered by the
    /// notification keys as a real store would; returns the keys delivered.
    std::vector<std::string> notify(const std::vector<std::string>& keys);
    void setChangeHandler(ChangeHandler onChange) { m_onChange = std::move(onChange); }

    const std::vector<Operation>& operations() const { return m_operations; }
    void clearOperations() { m_operations.clear(); }
    const std::vector<std::string>& notificationKeys() const { return m_keys; }
    const std::vector<std::string>& notificationPatterns() const { return m_patterns; }

private:
    ChangeHandler m_onChange;
    std::map<std::string, StoreDictionary> m_values;
    std::vector<Operation> m_operations;
    std::optional<std::string> m_writeError;
    std::string m_lastError;
    std::vector<std::string> m_keys;
    std::vector<std::string> m_patterns;
};

} // namespace torvane
