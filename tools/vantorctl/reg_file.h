// The records as .reg files, the form regedit imports and exports. Export
// writes the hive's own strict REGEDIT4 (src/hive/format.h); import reads
// what regedit reads: Unicode files, the looser forms people and other
// programs write, keys of other roots, and values the game does not know.
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
    std::vector<std::size_t> lines;       // the line each assignment was read from
    std::vector<std::string> ignored;     // keys and values skipped
    std::vector<std::string> warnings;    // values taken that the game may not expect
    std::vector<ImportProblem> problems;  // nothing may be written unless empty
};

// Reads a .reg file as regedit reads it. A file is UTF-16LE after a
// byte-order mark, UTF-8 after one, a "Windows Registry Editor Version 5.00"
// file that is UTF-8, or else the game's windows-1252 bytes as they are; its
// lines end in CRLF, LF or a lone CR. Blanks before a line, around "=" and
// after data, ";" comments after data and anything after a key's "]" are
// skipped; hex lists take one-digit bytes, blanks after commas, a last comma
// and blank or comment lines where they go on; a second header (two files
// joined) is skipped. A key or value given twice is merged, the last value
// winning. Characters are converted to windows-1252; hex(1) and hex(2) data
// are UTF-16LE in a UTF-16 file and bytes in any other. The game's keys are
// also taken from the copies 64-bit Windows keeps (Software\Wow6432Node,
// and a standard user's VirtualStore). A value the game's records cannot
// hold (its type, length or characters), a deletion of a game's value or
// key, and a line regedit would skip are problems. Other keys and values
// are problems too, or with `ignore_unknown` are listed in `ignored`.
Import import_reg(std::string_view bytes, bool ignore_unknown);

}  // namespace vantorctl
