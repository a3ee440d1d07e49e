// The records as .reg files, the form regedit imports and exports. The
// REGEDIT4 grammar itself is the hive's (src/hive/format.h); this
// adds what a file from regedit brings: UTF-16LE files with a BOM under a
// "Windows Registry Editor Version 5.00" header, keys of other roots, and
// values the game does not know.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fields.h"
#include "values.h"

namespace vantorctl {

// Both records, or `only` one, as a REGEDIT4 file with CRLF line ends: texts
// as strings of the game's bytes (a text holding CR or LF as hex(1) bytes
// with a final NUL, as regedit writes such a string), numbers and key
// bindings as dword.
std::string export_reg(const Records& records, std::optional<Record> only = std::nullopt);

// Both records as a person edits them: with kUtf8 a Unicode file
// ("Windows Registry Editor Version 5.00" in UTF-8, LF line ends), else a
// REGEDIT4 file of the game's bytes with CRLF line ends; texts always as
// quoted strings, a line break as \n. import_reg() reads it back.
std::string edit_reg(const Records& records, Charset charset);

struct ImportProblem {
    std::size_t line = 0;  // 0 when the problem is not one line's
    std::string message;
};

struct Import {
    std::vector<Assignment> assignments;  // in the file's order, each checked
    std::vector<std::string> ignored;     // keys and values skipped
    std::vector<std::string> warnings;    // values taken that the game may not expect
    std::vector<ImportProblem> problems;  // nothing may be written unless empty
};

// Reads a .reg file. A REGEDIT4 file holds the game's bytes (windows-1252)
// as they are. A Unicode file, UTF-16LE or UTF-8 (with a BOM, or under the
// "Windows Registry Editor Version 5.00" header), holds characters, which
// are converted to windows-1252; its hex(1) data are UTF-16LE, as regedit
// writes them. A character the game cannot store is a problem. Only values
// of the game's two keys are taken; other keys (empty parents of the two
// excepted) and unknown values are problems, or with `ignore_unknown` are
// listed in `ignored`. The delete forms ("NAME"=- and [-KEY]) are problems:
// the game's values are never deleted.
Import import_reg(std::string_view bytes, bool ignore_unknown);

}  // namespace vantorctl
