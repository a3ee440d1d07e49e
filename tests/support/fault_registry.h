// An in-memory registry with switches to make any operation fail, linked into
// the fault tests in place of the real implementation. It records every call
// so tests can check access rights, order of writes and closed handles.
// A read of data larger than the buffer fails and leaves garbage in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry/registry.h"

namespace vantor::fault {

using reg::Status;

struct Call {
    std::string op;    // "open", "create", "create_new", "query", "set", "close"
    std::string what;  // key path for open/create, value name for query/set
    reg::Access access = reg::Access::kAll;
};

struct Stored {
    std::uint32_t type;
    std::string data;
};

// Forgets every key, value, fault and recorded call.
void reset();

// Fault switches. Paths and names match case-insensitively.
void fail_open(const std::string& path, Status status);  // any access
void fail_open_for_write(const std::string& path);       // KEY_ALL_ACCESS only: 5
void fail_create(const std::string& path, Status status);  // create_new too
void fail_nth_set(int n, Status status);  // the n-th set_value from now, 1-based
void fail_sets_under(const std::string& path, Status status);
void fail_close(const std::string& path, Status status);  // a commit on close that fails

// Direct access to the stored data, bypassing the fault switches.
void put(const std::string& path, const std::string& name, std::uint32_t type, std::string data);
std::optional<Stored> get(const std::string& path, const std::string& name);
bool has_key(const std::string& path);
std::size_t value_count(const std::string& path);

const std::vector<Call>& calls();
std::vector<std::string> set_names();  // value names of the recorded sets, in order
int open_handles();

}  // namespace vantor::fault
