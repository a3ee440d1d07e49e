// What the eight functions do with a record, written once for both: the
// reader (defaults, then what the key holds, or else seed a missing key) and the
// writer (create the key, then write by mask).
#pragma once

#include <cstdint>

#include "registry/registry.h"
#include "settings/value_table.h"

namespace vantor::settings {

// Fills `fields` (a record of `record`'s type) from its key. The values a
// reader fills with their defaults get them first; then each value is read
// in read order (a value that cannot be read leaves its field as it was).
// Returns 1 when the key was opened. When the key is missing, the whole
// record as it then stands is written to make it (the seeding, whose
// outcome is not reported) and 0 is returned; but when someone else made
// the key meanwhile, nothing is written and what it holds is read, for 1.
// A key that could not be opened for any other reason (a corrupt or
// unreadable store) is not seeded: 0.
std::int32_t read_record(Record record, void* fields) noexcept;

// Creates the key; when that fails returns its status and writes nothing.
// Otherwise stores, in write order, each value whose bit is set in `mask`
// (every selected write is attempted), closes the key (where the store may
// commit the writes) and returns the first failing status, the close's
// included, or kSuccess.
reg::Status write_record(Record record, const void* fields, std::uint32_t mask) noexcept;

// Stores every value of `record` at its default, overwriting what is there.
reg::Status write_defaults(Record record) noexcept;

}  // namespace vantor::settings
