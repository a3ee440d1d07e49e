// The game's texts are 8-bit windows-1252 (the Western Windows ANSI code
// page). People type and read UTF-8 on most terminals, and Unicode .reg
// files are UTF-8 or UTF-16LE: these convert between them. Every one of the
// 256 bytes has a character, so a game text always converts to UTF-8 and
// back unchanged; the five bytes windows-1252 leaves undefined stand for
// U+0081, U+008D, U+008F, U+0090 and U+009D, as on Windows.
#pragma once

#include <string>
#include <string_view>

namespace vantorctl {

// How the terminal (arguments, standard output) encodes texts.
enum class Charset {
    kBytes,  // the game's bytes pass through unchanged
    kUtf8,   // converted to and from windows-1252
};

// kUtf8 natively, whatever the locale; on Windows, where arguments and
// console are the ANSI code page already, kBytes.
Charset terminal_charset();

std::string windows1252_to_utf8(std::string_view bytes);

// Converts UTF-8 to windows-1252. On failure returns false and names the
// first character the game cannot store, or the invalid UTF-8, in *problem.
bool utf8_to_windows1252(std::string_view utf8, std::string* out, std::string* problem);

// Converts UTF-16LE (without a BOM) to UTF-8. On failure (an odd number of
// bytes, a lone surrogate) returns false, says why in *problem, and leaves
// in *out what was converted before it.
bool utf16le_to_utf8(std::string_view bytes, std::string* out, std::string* problem);

// A game text as the terminal shows it, and a terminal's text for the game.
std::string to_terminal(std::string_view text, Charset charset);
bool from_terminal(std::string_view text, Charset charset, std::string* out, std::string* problem);

// Whether windows-1252 leaves `byte` undefined (it stands for a C1 control).
bool is_undefined_windows1252(unsigned char byte);

// A UTF-8 text safe for a terminal, as messages quote what a file holds:
// C0 controls and DEL as \n, \r, \t or \xNN, C1 controls (U+0080 to U+009F)
// as \u0080 to \u009F; all else as it is.
std::string printable_utf8(std::string_view utf8);

}  // namespace vantorctl
