#include "helper/platform/linux/ResolvConfStore.h"

#include "helper/platform/linux/ResolvConfStoreText.h"
#include "helper/platform/linux/ResolvedStore.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane {

namespace {

constexpr const char* kGlobalIPv4Key = "State:/Network/Global/IPv4";
constexpr const char* kServicePrefix = "State:/Network/Service/";
constexpr const char* kSetupPrefix = "Setup:/Network/Service/";
constexpr const char* kDNSSuffix = "/DNS";
constexpr const char* kResolvedStub = "127.0.0.53";

/// The service ID of "State:/Network/Service/ID/DNS", or nothing.
std::optional<std::string> serviceOfDNSKey(const std::string& key, const std::string& prefix) {
    if (!key.starts_with(prefix) || !key.ends_with(kDNSSuffix)) {
        return std::nullopt;
    }
    if (key.size() <= prefix.size() + std::strlen(kDNSSuffix)) {
        return std::nullopt;
    }
    const auto length = key.size() - prefix.size() - std::strlen(kDNSSuffix);
    auto id = key.substr(prefix.size(), length);
    if (id.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return id;
}

std::string dnsKey(const std::string& serviceID) {
    return kServicePrefix + serviceID + kDNSSuffix;
}

std::optional<std::string> readSymlink(const std::string& path) {
    std::string target(PATH_MAX, '\0');
    const auto length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) {
        return std::nullopt;
    }
    target.resize(static_cast<std::size_t>(length));
    return target;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

Expected<std::unique_ptr<DynamicStore>, std::string>
ResolvConfStore::create(ChangeHandler onChange, PostFunction post, Options options) {
    std::unique_ptr<ResolvConfStore> store(
        new ResolvConfStore(std::move(onChange), std::move(post), std::move(options)));
    ResolvConfStore* raw = store.get();
    auto watcher =
        StoreChangeWatcher::start(raw->m_options.resolvConfPath, {[raw] { raw->routingChanged(); },
                                                                  [raw] {
                                                                      raw->resolvConfChanged();
                                                                  }});
    if (!watcher) {
        return Unexpected{watcher.error()};
    }
    raw->m_watcher = std::move(*watcher);
    return std::unique_ptr<DynamicStore>(std::move(store));
}

ResolvConfStore::ResolvConfStore(ChangeHandler onChange, PostFunction post, Options options)
    : m_notifier(std::move(onChange), std::move(post)), m_options(std::move(options)) {
    m_notifier.rememberRoute(route());

    const auto link = readSymlink(m_options.resolvConfPath);
    const auto bytes = readFile();
    const bool resolvedStub =
        (link && link->find("stub-resolv.conf") != std::string::npos) || (bytes && [&] {
            const auto servers = parseResolvConf(*bytes).servers;
            return std::find(servers.begin(), servers.end(), kResolvedStub) != servers.end();
        }());
    if (m_options.log) {
        m_options.log(resolvedStub ? m_options.resolvConfPath +
                                         " points at systemd-resolved's stub resolver; "
                                         "managing the file directly"
                                   : "DNS: managing " + m_options.resolvConfPath);
    }
}

ResolvConfStore::~ResolvConfStore() {
    m_watcher.reset();
}

std::optional<DefaultRoute> ResolvConfStore::route() const {
    return primaryRoute(m_options.primaryInterface);
}

std::optional<std::string> ResolvConfStore::primary() const {
    if (auto current = route()) {
        return std::move(current->interface);
    }
    return std::nullopt;
}

bool ResolvConfStore::mayTouchFileFor(const std::string& service) const {
    if (service == primary()) {
        return true;
    }
    const auto bytes = readFile();
    return bytes && isGeneratedResolvConf(*bytes);
}

std::optional<std::string> ResolvConfStore::readFile() const {
    const int fd = ::open(m_options.resolvConfPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string bytes;
    std::array<char, 4096> buffer{};
    for (;;) {
        const auto length = ::read(fd, buffer.data(), buffer.size());
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (length == 0) {
            break;
        }
        bytes.append(buffer.data(), static_cast<std::size_t>(length));
    }
    ::close(fd);
    return bytes;
}

std::optional<StoreDictionary> ResolvConfStore::copyValue(const std::string& key) {
    if (key == kGlobalIPv4Key) {
        if (auto interface = primary()) {
            return StoreDictionary{{"PrimaryService", *interface}};
        }
        return std::nullopt;
    }
    if (const auto service = serviceOfDNSKey(key, kServicePrefix)) {
        if (*service != primary()) {
            return std::nullopt;
        }
        const auto bytes = readFile();
        if (!bytes) {
            return std::nullopt;
        }
        // Reading back what we wrote gives the dictionary we wrote, so the
        // override recognises its own entry.
        if (m_lastWritten && m_lastWritten->bytes == *bytes) {
            return m_lastWritten->dictionary;
        }
        const auto settings = parseResolvConf(*bytes);
        StoreDictionary dictionary{{kFileBytesKey, *bytes}};
        if (!settings.servers.empty()) {
            dictionary["ServerAddresses"] = settings.servers;
        }
        if (!settings.searchDomains.empty()) {
            dictionary["SearchDomains"] = settings.searchDomains;
        }
        if (auto link = readSymlink(m_options.resolvConfPath)) {
            dictionary[kSymlinkKey] = std::move(*link);
        }
        return dictionary;
    }
    if (key.starts_with(kSetupPrefix) && !key.ends_with(kDNSSuffix)) {
        const auto id = key.substr(std::strlen(kSetupPrefix));
        if (!id.empty() && id.find('/') == std::string::npos) {
            return StoreDictionary{{"UserDefinedName", id}};
        }
    }
    return std::nullopt;
}

bool ResolvConfStore::setValue(const std::string& key, const StoreDictionary& value) {
    const auto service = serviceOfDNSKey(key, kServicePrefix);
    if (!service) {
        m_lastError = "read-only key " + key;
        return false;
    }
    if (!mayTouchFileFor(*service)) {
        m_lastWritten.reset();
        return true;
    }
    if (value.contains(ResolvedStore::kLinkStateKey)) {
        // Saved from a resolved link: writing its servers here would replace
        // resolved's stub for good, and the link itself is out of reach.
        m_lastError = "the saved DNS belongs to a systemd-resolved link; resolved is not "
                      "answering, so it cannot be put back";
        return false;
    }
    if (const auto bytes = storeText(value, kFileBytesKey)) {
        m_lastWritten.reset();
        // The link's owner keeps its target current: the link itself is
        // what was there, whatever the target says by now.
        if (const auto link = storeText(value, kSymlinkKey)) {
            return restoreSymlink(*link);
        }
        if (m_original && m_original->bytes == *bytes) {
            return restoreOriginal();
        }
        // Restoring a second service after the file is back as it was (one
        // file serves every service) must not replace a restored symlink.
        if (!m_original && readFile() == *bytes) {
            return true;
        }
        if (!writeFileBytes(*bytes)) {
            return false;
        }
        // Someone else's resolvers are back in place: nothing of ours is
        // left to undo, and the next override saves the file anew.
        m_original.reset();
        return true;
    }
    ResolvConfSettings settings;
    settings.servers = storeList(value, "ServerAddresses").value_or(std::vector<std::string>{});
    settings.searchDomains = storeList(value, "SearchDomains").value_or(std::vector<std::string>{});
    const auto text = renderResolvConf(settings);
    if (!text) {
        m_lastError = text.error();
        return false;
    }
    if (!writeFileBytes(*text)) {
        return false;
    }
    m_lastWritten = Written{*text, value};
    return true;
}

bool ResolvConfStore::removeValue(const std::string& key) {
    const auto service = serviceOfDNSKey(key, kServicePrefix);
    if (!service) {
        m_lastError = "read-only key " + key;
        return false;
    }
    m_lastWritten.reset();
    if (!mayTouchFileFor(*service)) {
        return true;
    }
    return m_original ? restoreOriginal() : true;
}

bool ResolvConfStore::writeFileBytes(const std::string& bytes) {
    const std::string& path = m_options.resolvConfPath;
    const auto link = readSymlink(path);
    if (!m_original) {
        Original original;
        original.symlinkTarget = link;
        if (const auto current = readFile()) {
            original.existed = true;
            original.bytes = *current;
        }
        m_original = original;
    }
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    if (link) {
        // Writing through the link would change a file that belongs to
        // whoever manages it (often a file under /run); take the link's place
        // instead and put it back on restore.
        if (::unlink(path.c_str()) != 0) {
            m_lastError = "cannot replace the symlink " + path + ": " + std::strerror(errno);
            return false;
        }
        flags |= O_EXCL;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        m_lastError = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd, bytes);
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        m_lastError = "cannot write " + path + ": " + std::strerror(savedErrno);
        return false;
    }
    return true;
}

bool ResolvConfStore::restoreOriginal() {
    const Original original = *m_original;
    const std::string& path = m_options.resolvConfPath;
    if (original.symlinkTarget) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            m_lastError = "cannot remove " + path + ": " + std::strerror(errno);
            return false;
        }
        if (::symlink(original.symlinkTarget->c_str(), path.c_str()) != 0) {
            m_lastError = "cannot restore the symlink " + path + ": " + std::strerror(errno);
            return false;
        }
    } else if (!original.existed) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            m_lastError = "cannot remove " + path + ": " + std::strerror(errno);
            return false;
        }
    } else if (!writeFileBytes(original.bytes)) {
        return false;
    }
    m_original.reset();
    return true;
}

bool ResolvConfStore::restoreSymlink(const std::string& target) {
    const std::string& path = m_options.resolvConfPath;
    if (readSymlink(path) != target) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            m_lastError = "cannot remove " + path + ": " + std::strerror(errno);
            return false;
        }
        if (::symlink(target.c_str(), path.c_str()) != 0) {
            m_lastError = "cannot restore the symlink " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    m_original.reset();
    return true;
}

void ResolvConfStore::setNotificationKeys(const std::vector<std::string>& keys,
                                          const std::vector<std::string>& patterns) {
    m_notifier.setKeys(keys, patterns);
}

void ResolvConfStore::routingChanged() {
    m_notifier.routeSeen(route());
}

void ResolvConfStore::resolvConfChanged() {
    if (const auto primary = m_notifier.primary()) {
        m_notifier.notify({dnsKey(*primary)});
    }
}

} // namespace torvane
