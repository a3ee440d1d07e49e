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

// Makes stdin and stdout carry bytes unchanged (no CRLF translation).
// Called once, first thing.
void set_up_stdio();

// True when the arguments and the output hold texts as UTF-8: natively,
// whatever the locale (a C locale names no charset of its own, and what
// scripts, cron and unit files pass is UTF-8). False on Windows, where they
// are the ANSI code page, the game's own bytes.
bool terminal_is_utf8();

// A new file holding `bytes` for the user to edit, which only this user may
// read, "vantor-XXXXXX.reg" in the folder for temporary files ($TMPDIR,
// else /tmp; on Windows %TEMP%). Its path goes to *path; on failure *error
// says why.
bool make_edit_file(std::string_view bytes, std::string* path, std::string* error);

// The editor to run: $VISUAL, else $EDITOR, else the system's ("editor"
// where there is one, else "vi"; on Windows notepad).
std::string editor();

// Runs `editor`, a command line that may hold arguments ("code --wait"), on
// `file` with the terminal, and waits for it. Returns its exit status, or
// -1 when it could not be run, saying why in *error.
int run_editor(const std::string& editor, const std::string& file, std::string* error);

// Whether standard input is a terminal, where a person can answer.
bool input_is_terminal();

// Replaces the file at `path` with `bytes`: they go to a new file in the
// same folder, which is flushed and then renamed over `path`, and the folder
// is flushed, so `path` holds either its old content or all of the new,
// never a part, even after a power cut. A path that names a device or a
// pipe is written to in place. On failure nothing is left behind and *error
// says why, with the system's reason.
bool replace_file(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace vantorctl::platform
