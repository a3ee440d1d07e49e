// Where the library keeps the settings, found as the library finds it, so
// the tool can name the file behind a failure. Natively that is the stand-in
// registry's hive file; on Windows the registry, which has no file to name.
#pragma once

#include <string>
#include <vector>

namespace vantorctl::store {

// Makes the library use the hive file `path` (the --registry option): sets
// VANTOR_REGISTRY for it. Returns false, saying why, on Windows or for an
// empty path.
bool use_file(const std::string& path, std::string* error);

// The hive files the library reads, in the order it reads them: natively
// $VANTOR_REGISTRY when set and not empty, else the built-in default; on
// Windows none.
std::vector<std::string> files();

// Empty when each of files() is a hive the library can read, or does not
// exist yet; otherwise what is wrong, naming the file and, for a hive that
// does not parse, the line: "/var/lib/vantor/system.reg:7: corrupt store: malformed key line".
std::string problem();

}  // namespace vantorctl::store
