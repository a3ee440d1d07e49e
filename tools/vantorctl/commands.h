// The tool's commands. Each returns the process's exit code: 0 on success,
// 1 when the library (or writing a file) fails, 2 for bad usage or input.
// Input is checked in full before the library is loaded or called.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "fields.h"
#include "library.h"

namespace vantorctl {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitBadInput = 2 };

// Gives the loaded library's functions, loading it on first use; nullptr
// when it cannot be loaded (the reason is already printed).
using LoadApi = std::function<const Api*()>;

struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

int run_show(const LoadApi& load, std::optional<Record> only, bool json, Streams io);
int run_set(const LoadApi& load, const std::vector<std::string>& arguments, Streams io);
int run_reset(const LoadApi& load, const std::string& which, Streams io);
int run_create(const LoadApi& load, Streams io);
int run_export(const LoadApi& load, const std::string& file, Streams io);
int run_import(const LoadApi& load, const std::string& file, bool ignore_unknown, Streams io);

}  // namespace vantorctl
