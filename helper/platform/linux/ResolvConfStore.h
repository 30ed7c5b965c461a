#pragma once

#include "helper/network/DynamicStore.h"
#include "helper/platform/linux/DefaultRoute.h"
#include "helper/platform/linux/StoreChangeWatcher.h"
#include "helper/platform/linux/StoreNotifier.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace torvane {

/// The dynamic store on Linux, over the kernel's routing table and the
/// resolv.conf file:
///   "State:/Network/Global/IPv4"       {"PrimaryService": interface of the
///                                        main table's IPv4 default route}
///   "State:/Network/Service/ID/DNS"    for the primary service: the file's
///                                       "ServerAddresses", "SearchDomains",
///                                       its exact bytes (kFileBytesKey) and,
///                                       for a symlink, its target
///                                       (kSymlinkKey)
///   "Setup:/Network/Service/ID"        {"UserDefinedName": ID}
///   "Setup:/Network/Service/ID/DNS"    absent (no manual-DNS layer)
///
/// Writing a service's DNS rewrites the file in place (a rename fails on
/// the bind mount `ip netns exec` puts over it); a dictionary carrying
/// kFileBytesKey puts those exact bytes back. What the file was before the
/// first write is kept: writing the original bytes back or removing the key
/// restores it, a symlink included (a symlinked file is replaced by a
/// regular file while overridden; a saved dictionary names the link, so
/// another process, the crash journal's replay, puts it back too).
///
/// There is one file for every service: a write or removal for a service
/// that is not the primary one leaves it alone, unless it still holds our
/// own override (nobody has written the new network's resolvers yet, or the
/// daemon that wrote it died). So a network switch during a tunnel never
/// ends with the old network's resolvers over the new one's.
///
/// Store calls run on the engine queue; the watcher thread only posts
/// notifications through the post function. Destroy the store on the engine
/// queue: jobs it posted and that have not run yet then do nothing.
class ResolvConfStore final : public DynamicStore {
public:
    /// The entry holding the file's exact bytes.
    static constexpr const char* kFileBytesKey = "TorvaneResolvConfBytes";
    /// The entry holding the target of a symlinked file.
    static constexpr const char* kSymlinkKey = "TorvaneResolvConfLink";

    struct Options {
        std::string resolvConfPath = "/etc/resolv.conf";
        /// Receives the one line saying which backend serves the file.
        std::function<void(const std::string&)> log;
        /// The primary interface; the main table's default route when empty.
        std::function<std::optional<std::string>()> primaryInterface;
    };

    static Expected<std::unique_ptr<DynamicStore>, std::string>
    create(ChangeHandler onChange, PostFunction post, Options options);
    ~ResolvConfStore() override;

    std::optional<StoreDictionary> copyValue(const std::string& key) override;
    bool setValue(const std::string& key, const StoreDictionary& value) override;
    bool removeValue(const std::string& key) override;
    std::string lastErrorText() const override { return m_lastError; }
    void setNotificationKeys(const std::vector<std::string>& keys,
                             const std::vector<std::string>& patterns) override;

private:
    /// What the file was before our first write.
    struct Original {
        bool existed = false;
        std::optional<std::string> symlinkTarget;
        std::string bytes;
    };
    struct Written {
        std::string bytes;
        StoreDictionary dictionary;
    };

    ResolvConfStore(ChangeHandler onChange, PostFunction post, Options options);
    /// The primary interface (with its router) as the options or the
    /// routing table say.
    std::optional<DefaultRoute> route() const;
    std::optional<std::string> primary() const;
    /// Whether a write or removal for `service` may touch the file.
    bool mayTouchFileFor(const std::string& service) const;
    bool writeFileBytes(const std::string& bytes);
    bool restoreOriginal();
    bool restoreSymlink(const std::string& target);
    std::optional<std::string> readFile() const;
    void routingChanged();
    void resolvConfChanged();

    StoreNotifier m_notifier; // before the threads that call it, so it outlives them
    Options m_options;
    std::string m_lastError;
    std::optional<Original> m_original;
    std::optional<Written> m_lastWritten;

    std::unique_ptr<StoreChangeWatcher> m_watcher; // last: stops first
};

} // namespace torvane
