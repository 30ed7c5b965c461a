#pragma once

#include <cstddef>
#include <vector>

namespace torvane {

/// A few file descriptors held open on /dev/null against the day the process
/// runs out. Clients can hold every other descriptor the daemon may open;
/// releasing the spares then lets it accept root's connection and run a
/// teardown's programs and netlink calls, so the VPN can still be taken down
/// and the machine restored. Not thread-safe: one owner thread.
class DescriptorReserve {
public:
    explicit DescriptorReserve(std::size_t count);
    ~DescriptorReserve();
    DescriptorReserve(const DescriptorReserve&) = delete;
    DescriptorReserve& operator=(const DescriptorReserve&) = delete;

    /// Closes every spare, so that whoever opens a descriptor next gets one.
    void release();
    /// Reopens the missing spares, as far as descriptors are free; true when
    /// all are held again.
    bool refill();
    bool full() const { return m_fds.size() == m_count; }

private:
    std::size_t m_count;
    std::vector<int> m_fds;
};

} // namespace torvane
