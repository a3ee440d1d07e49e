// Texts as the registry keeps them. The game's texts are 8-bit
// windows-1252 (the Western ANSI code page); Wine keeps every name and
// string in UTF-16. These are the one windows-1252 table of the project
// (the hive store and vantorctl both use it) and the conversions Wine's
// ANSI registry calls make under code page 1252.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantor::hive {

// The character of a windows-1252 byte. Every byte has one: the five bytes
// windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// C1 controls of the same number, as on Windows.
char16_t windows1252_to_unicode(unsigned char byte) noexcept;

// The byte of `c` in windows-1252, or -1 when it has none. Exact: the
// reverse of windows1252_to_unicode().
int unicode_to_windows1252(char32_t c) noexcept;

// The UTF-16LE bytes of windows-1252 text, a character for each byte
// (MultiByteToWideChar for code page 1252).
std::string windows1252_to_utf16le(std::string_view bytes);

// What the registry's ANSI calls give for UTF-16LE text (RegQueryValueExA,
// WideCharToMultiByte for code page 1252): a byte for each UTF-16 unit, the
// character's own byte where windows-1252 has it, else Windows' best fit
// (U+0100 "A" gives "A", U+03BC "mu" gives 0xB5) or "?" (surrogates too, one
// for each unit). A last odd byte is dropped.
std::string utf16le_to_windows1252(std::string_view utf16le);

// The data RegSetValueExA stores for a REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ
// given `bytes` (windows-1252) in UTF-16LE. Windows and Wine add a
// terminating NUL the caller did not count when the byte just after the
// counted ones is NUL and the last counted one is not: `nul_follows` tells
// whether the caller's buffer had a NUL there.
std::string ansi_string_data(std::string_view bytes, bool nul_follows);

// The bytes RegQueryValueExA returns for string data stored as UTF-16LE, as
// many as the size it reports: utf16le_to_windows1252(). (Given room in the
// caller's buffer it writes a NUL after them, not counted, unless the last
// one is NUL.)
inline std::string ansi_string_query(std::string_view utf16le) {
    return utf16le_to_windows1252(utf16le);
}

// Appends the UTF-8 form of `c`. Surrogates (U+D800 to U+DFFF) are written
// as any other code point would be, so that a name holding a lone UTF-16
// surrogate survives the trip to UTF-8 and back.
void append_utf8(char32_t c, std::string* out);

// UTF-16LE to UTF-8, lone surrogates as append_utf8() writes them; a pair
// is one character. A last odd byte is dropped.
std::string utf16le_to_utf8(std::string_view utf16le);

// Decodes the UTF-8 character at text[*at] (lone surrogates accepted) and
// moves past it; false, leaving *at, for bytes that are not UTF-8
// (overlong forms included).
bool next_utf8(std::string_view text, std::size_t* at, char32_t* c) noexcept;

// UTF-8 to UTF-16LE; false for text that is not UTF-8.
bool utf8_to_utf16le(std::string_view utf8, std::string* out);

// The number of UTF-16 units of UTF-8 text (a character above U+FFFF takes
// two), for the registry's limits on name lengths; bytes that are not
// UTF-8 count one each.
std::size_t utf16_length(std::string_view utf8) noexcept;

}  // namespace vantor::hive
