// What the registry conformance tests need beyond the five operations: a
// scratch key they may wipe, and the two ways in which the platform's
// registry may differ from the stand-in without the library noticing.
// One implementation per platform, chosen in CMake.
#pragma once

namespace vantor::test {

// Every key the conformance tests make lies below this one.
inline constexpr const char* kScratchRoot = "Software\\VantorConformance";

// Deletes the scratch key with everything below it (a missing key is fine).
// False when that cannot be done, and the tests must not go on.
bool clear_scratch() noexcept;

struct Quirks {
    // Setting a REG_SZ value whose data are followed in memory by a NUL
    // stores that NUL too, one byte more than asked for.
    bool text_set_takes_following_nul;
    // Reading REG_SZ data that do not end in a NUL writes a NUL after them
    // when the buffer has room for it (the size returned does not count it).
    bool text_read_adds_nul;
};

extern const Quirks kQuirks;

}  // namespace vantor::test
