// The records as .reg files, the form regedit imports and exports. The
// REGEDIT4 grammar itself is the hive's (src/hive/format.h); this
// adds what a file from regedit brings: UTF-16LE files with a BOM under a
// "Windows Registry Editor Version 5.00" header, keys of other roots, and
// values the game does not know.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "fields.h"
#include "values.h"

namespace vantorctl {

// Both records as a REGEDIT4 file with CRLF line ends: texts as strings
// (a text holding CR or LF as hex(1) bytes with a final NUL, as regedit
// writes such a string), numbers and key bindings as dword.
std::string export_reg(const Records& records);

struct ImportProblem {
    std::size_t line = 0;  // 0 when the problem is not one line's
    std::string message;
};

struct Import {
    std::vector<Assignment> assignments;  // in the file's order, each checked
    std::vector<std::string> ignored;     // keys and values skipped
    std::vector<ImportProblem> problems;  // nothing may be written unless empty
};

// Reads a .reg file: REGEDIT4 (ANSI bytes) or "Windows Registry Editor
// Version 5.00" (UTF-16LE with a BOM, or UTF-8). In UTF-16 files characters
// U+0000 to U+00FF stand for the byte of that value; others cannot be stored
// in the game's texts. Only values of the game's two keys are taken; other
// keys (empty parents of the two excepted) and unknown values are problems,
// or with `ignore_unknown` are listed in `ignored`.
Import import_reg(std::string_view bytes, bool ignore_unknown);

}  // namespace vantorctl
