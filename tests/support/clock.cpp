#include "support/clock.h"

#include <time.h>

#include <atomic>
#include <cerrno>

#include "registry/hive/io.h"

namespace vantor::test {
namespace {

std::atomic<long> ahead{0};

}  // namespace

void set_clock_ahead(long seconds) { ahead = seconds; }

}  // namespace vantor::test

namespace vantor::store::io {

timespec now() noexcept {
    timespec time{};
    ::clock_gettime(CLOCK_REALTIME, &time);
    time.tv_sec += test::ahead;
    return time;
}

void pause(long nanoseconds) noexcept {
    timespec wait{nanoseconds / 1000000000, nanoseconds % 1000000000};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

}  // namespace vantor::store::io
