// The I/O seam's clock on the system: the real time, and a real wait.
#include <time.h>

#include <cerrno>

#include "registry/hive/io.h"

namespace vantor::store::io {

timespec now() noexcept {
    timespec time{};
    ::clock_gettime(CLOCK_REALTIME, &time);
    return time;
}

void pause(long nanoseconds) noexcept {
    timespec wait{nanoseconds / 1000000000, nanoseconds % 1000000000};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

}  // namespace vantor::store::io
