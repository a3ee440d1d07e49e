#include "charset.h"

#include <cstdint>
#include <cstdio>

#include "hive/charset.h"
#include "platform.h"
#include "text.h"

namespace vantorctl {
namespace {

// The one windows-1252 table, the hive codec's.
char32_t character_of(unsigned char byte) { return vantor::hive::windows1252_to_unicode(byte); }

// The byte of `c`, or -1 when windows-1252 has none.
int byte_of(char32_t c) { return vantor::hive::unicode_to_windows1252(c); }

using vantor::hive::append_utf8;

// Decodes one UTF-8 character at text[*at] and moves past it; false for
// invalid UTF-8 (overlong forms and surrogates included).
bool next_utf8(std::string_view text, std::size_t* at, char32_t* c) {
    const std::size_t from = *at;
    if (vantor::hive::next_utf8(text, at, c) && !(*c >= 0xD800 && *c <= 0xDFFF)) return true;
    *at = from;
    return false;
}

std::string code_point(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

}  // namespace

Charset terminal_charset() {
    return platform::terminal_is_utf8() ? Charset::kUtf8 : Charset::kBytes;
}

bool is_undefined_windows1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 && character_of(byte) == byte;
}

std::string printable_utf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        char escape[8];
        if (byte == '\n' || byte == '\r' || byte == '\t') {
            out += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04X", next);
            out += escape;
            ++i;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

std::string windows1252_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char b : bytes) append_utf8(character_of(static_cast<unsigned char>(b)), &out);
    return out;
}

bool utf8_to_windows1252(std::string_view utf8, std::string* out, std::string* problem) {
    out->clear();
    std::size_t at = 0;
    while (at < utf8.size()) {
        const std::size_t start = at;
        char32_t c;
        if (!next_utf8(utf8, &at, &c)) {
            *problem = "not valid UTF-8 at byte " + std::to_string(start + 1);
            return false;
        }
        const int byte = byte_of(c);
        if (byte < 0) {
            *problem = "character " + code_point(c) + " \"" +
                       std::string(utf8.substr(start, at - start)) +
                       "\" cannot be stored: the game's texts are windows-1252 (Western)";
            return false;
        }
        out->push_back(static_cast<char>(byte));
    }
    return true;
}

bool utf16le_to_utf8(std::string_view bytes, std::string* out, std::string* problem) {
    out->clear();
    const auto unit = [&](std::size_t i) -> char32_t {
        return static_cast<unsigned char>(bytes[i]) |
               static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    const std::size_t end = bytes.size() & ~std::size_t{1};
    for (std::size_t i = 0; i < end; i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 2 < end && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            *problem = "a lone UTF-16 surrogate " + code_point(c);
            return false;
        }
        append_utf8(c, out);
    }
    if (end != bytes.size()) {
        *problem = "UTF-16 text of an odd number of bytes";
        return false;
    }
    return true;
}

std::string to_terminal(std::string_view text, Charset charset) {
    return charset == Charset::kUtf8 ? windows1252_to_utf8(text) : std::string(text);
}

bool from_terminal(std::string_view text, Charset charset, std::string* out, std::string* problem) {
    if (charset == Charset::kUtf8) {
        if (utf8_to_windows1252(text, out, problem)) return true;
        if (problem->find("UTF-8") != std::string::npos) {
            *problem += ": texts are taken as UTF-8, whatever the locale";
        }
        return false;
    }
    out->assign(text);
    return true;
}

}  // namespace vantorctl
