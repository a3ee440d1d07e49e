// The hive's text form, in two dialects told by the first line: REGEDIT4,
// the stand-in registry's own files, and Wine's registry files (a prefix's
// system.reg and user.reg). Pure: everything works on strings; the store's
// file handling lives in registry/hive/. Document (document.h) reads either
// and edits it keeping every byte it does not change; parse() and
// serialize() read and write a whole REGEDIT4 hive in its canonical form.
//
// REGEDIT4 (lines end in LF or CRLF; the last may lack one):
//
//   file      := "REGEDIT4" EOL { line }
//   line      := blank | comment | section | value
//   blank     := spaces and tabs only
//   comment   := ";" or "#" first on the line, then anything
//   section   := "[HKEY_LOCAL_MACHINE\" path "]" [spaces]
//                (root name in any case; path components are non-empty and
//                 separated by single backslashes)
//   value     := name "=" data [spaces]          (only after a section)
//   name      := "@" (the default, unnamed value) | string
//   string    := '"' { byte | "\\" | "\"" | "\r" | "\n" } '"'
//                (a non-empty string: an empty name is written "@")
//   data      := string                           REG_SZ, the bytes as they are
//              | "dword:" 1-8 hex digits          REG_DWORD, 4 bytes little-endian
//              | "hex:" bytes                     REG_BINARY
//              | "hex(" 1-8 hex digits "):" bytes any type
//   bytes     := [ hh { "," hh } ] with "," "\" EOL continuing the list on the
//                next line, which may start with spaces or tabs
//
// Hex digits may be of either case. A REG_SZ string stands for exactly its
// bytes: no terminating NUL is stored or implied.
//
// Wine ("WINE REGISTRY Version 2"; paths below the root its second line
// names, HKEY_LOCAL_MACHINE in system.reg):
//
//   file      := "WINE REGISTRY Version 2" EOL { blank | comment | "#" option }
//                { line }                         ("#arch=win64": the prefix's)
//   line      := blank | ";" comment | section | "#" option | value
//   section   := "[" wpath "]" [" " seconds]      the key's last change, Unix time
//   option    := "time=" 1-16 hex digits          the same as a FILETIME
//              | 'class="' wstring '"' | "link" | anything else (kept as it is)
//   value     := ("@" | '"' wstring '"') "=" wdata [spaces]
//   wdata     := ['str:' | 'str(2):' | 'str(7):'] '"' wstring '"'
//                          REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ: the UTF-16LE
//                          units and a terminating NUL
//              | "dword:" 1-8 hex digits | "hex:" bytes | "hex(" N "):" bytes
//   wstring   := UTF-16 text: printable ASCII and UTF-8 as they are, C escapes
//                (\a \b \e \f \n \r \t \v), "\x" and 1-4 hex digits, "\" and 1-3
//                octal digits, "\" before any other character for itself
//   wpath     := wstring names separated by "\\" (a "]" in a name as "\]")
//
// In both dialects anything else makes the whole hive corrupt: an unknown
// escape (REGEDIT4), a missing quote, text after a value, a value before any
// section, another root (REGEDIT4), an empty path component, a NUL byte, a
// malformed hex list, two sections for the same key, two values of the same
// name in one key (names compare case-insensitively), a key nested deeper
// than kMaxKeyDepth, a key name longer than kMaxKeyNameLength, a value name
// longer than kMaxValueNameLength (model.h), or keys whose paths, with those
// of the parents they imply, add up to more than four times the text and a
// megabyte.
//
// A section whose parent keys have no section of their own is accepted: the
// missing parents are added, without values, just before it, and a later
// section for such a parent fills it in. (Wine writes a key only when it
// has values or no subkeys.)
//
// serialize() writes "REGEDIT4", a blank line, then one section per key in
// the hive's order, each followed by its values and a blank line. It writes
// an empty section for any parent not written before its child, so the file
// always lists every key on the way. Values use the shortest form that keeps
// type and bytes: a quoted string for REG_SZ without NUL bytes, dword: for a
// 4-byte REG_DWORD, hex: for REG_BINARY, hex(N): for everything else. Hex
// lists are broken after the comma that reaches column 76, continued on a
// line indented by two spaces. The output is deterministic and, for every
// hive in which each key follows its parent, parse(serialize(h)) == h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/model.h"

namespace vantor::hive {

// The two dialects of the text form, told by a file's first line: REGEDIT4,
// the stand-in registry's own, and Wine's registry files ("WINE REGISTRY
// Version 2": a prefix's system.reg and user.reg).
enum class Dialect { kRegedit4, kWine };

// Reads a REGEDIT4 hive (vantorctl's .reg files; the store reads through
// Document); nullopt when the text does not follow the grammar in full.
std::optional<Hive> parse(std::string_view text);

// Where and why parse() stopped.
struct ParseError {
    std::size_t line = 0;  // 1-based: the first line found wrong
    std::string message;   // what is wrong with it, in a few words
};

// As parse(text); on failure also fills *error, when given.
std::optional<Hive> parse(std::string_view text, ParseError* error);

// Reads only the key at `path` (in any case) out of a text of either
// dialect: the whole text is still checked, line by line, exactly as
// Document::parse() checks it, with the same verdict and report, but only
// this key's values are kept. Returns false when Document::parse() would
// fail, filling *error the same way; otherwise sets *key to the key it would
// hold, or to nothing when the hive has no such key. The cheap way to read
// one key of a large hive: nothing but that key is built.
bool read_one_key(std::string_view text, std::string_view path, std::optional<StoredKey>* key,
                  ParseError* error = nullptr);

// Writes a hive in REGEDIT4's canonical text form.
std::string serialize(const Hive& hive);

}  // namespace vantor::hive
