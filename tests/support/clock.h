// The store's clock under the tests' control, linked in place of the
// system's (src/registry/hive/clock_posix.cpp) by tests on the real file
// system: the real time, or that time put ahead, so that a hive just written
// counts as settled without waiting for it. Child processes inherit it.
#pragma once

namespace vantor::test {

// Puts the store's clock `seconds` ahead of the real time; 0 puts it back.
void set_clock_ahead(long seconds);

}  // namespace vantor::test
