// What differs between the platforms: loading a module and finding its
// functions, where the library is installed, its version, the standard
// streams and the terminal's charset, and replacing a file. One file
// implements it per platform (platform_posix.cpp, platform_win32.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantorctl::platform {

using Module = void*;
using Function = void (*)();

// Loads a module by path; nullptr on failure, with the reason in *error.
Module open_module(const std::string& path, std::string* error);

// The exported function called `name`, or nullptr.
Function find_function(Module module, const char* name);

// Where the library is looked for when no path is given, in order.
std::vector<std::string> default_library_paths();

// The file `module` was loaded from, after links; `function` lies in it.
std::string module_file(Module module, Function function);

// The version of the library file `file`, or empty when it cannot be told.
std::string file_version(const std::string& file);

// Makes stdin and stdout carry bytes unchanged (no CRLF translation), and
// takes the locale's charset (LC_CTYPE only: numbers and messages stay as
// they are). Called once, first thing.
void set_up_stdio();

// True when the terminal's texts are UTF-8 (the locale's charset); false
// where they are the game's own 8-bit bytes (Windows' ANSI code page, or a
// locale that is not UTF-8).
bool terminal_is_utf8();

// Replaces the file at `path` with `bytes`: they go to a new file in the
// same folder, which is flushed and then renamed over `path`, and the folder
// is flushed, so `path` holds either its old content or all of the new,
// never a part, even after a power cut. A path that names a device or a
// pipe is written to in place. On failure nothing is left behind and *error
// says why, with the system's reason.
bool replace_file(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace vantorctl::platform
