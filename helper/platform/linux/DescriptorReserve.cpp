#include "helper/platform/linux/DescriptorReserve.h"

#include <fcntl.h>
#include <unistd.h>

namespace torvane {

DescriptorReserve::DescriptorReserve(std::size_t count) : m_count(count) {
    refill();
}

DescriptorReserve::~DescriptorReserve() {
    release();
}

void DescriptorReserve::release() {
    for (const int fd : m_fds) {
        ::close(fd);
    }
    m_fds.clear();
}

bool DescriptorReserve::refill() {
    while (m_fds.size() < m_count) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        m_fds.push_back(fd);
    }
    return true;
}

} // namespace torvane
