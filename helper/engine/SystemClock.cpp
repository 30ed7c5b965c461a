#include "Clock.h"

#include <thread>

namespace torvane {

void SystemClock::sleep(Duration duration) {
    std::this_thread::sleep_for(duration);
}

} // namespace torvane
