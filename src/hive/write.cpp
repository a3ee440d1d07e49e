// Writing the text form: the lines of both dialects, and serialize().
#include <cstddef>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "hive/charset.h"
#include "hive/format.h"
#include "hive/syntax.h"
#include "hive/writer.h"

namespace vantor::hive {
namespace {

using namespace syntax;

constexpr std::size_t kWrapColumn = 76;
constexpr char kDigits[] = "0123456789abcdef";

// For each byte, the letter that follows its backslash in a quoted string,
// or 0 when it stands as it is.
struct EscapeTable {
    char letter[256] = {};
    constexpr EscapeTable() {
        for (std::size_t i = 0; i < kEscapedBytes.size(); ++i) {
            letter[static_cast<unsigned char>(kEscapedBytes[i])] = kEscapeLetters[i];
        }
    }
};
constexpr EscapeTable kEscapes;

// Bytes without an escape are copied in runs, not one by one: a large
// hive is mostly such runs.
void write_string(std::string_view text, std::string* out) {
    out->push_back('"');
    const char* run = text.data();
    const char* const end = run + text.size();
    for (const char* at = run; at != end; ++at) {
        const char letter = kEscapes.letter[static_cast<unsigned char>(*at)];
        if (letter == 0) continue;
        out->append(run, static_cast<std::size_t>(at - run));
        const char escape[] = {'\\', letter};
        out->append(escape, 2);
        run = at + 1;
    }
    out->append(run, static_cast<std::size_t>(end - run));
    out->push_back('"');
}

void write_hex_bytes(std::string_view data, std::size_t column, std::string* out) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out->push_back(kDigits[byte >> 4]);
        out->push_back(kDigits[byte & 0xF]);
        column += 2;
        if (i + 1 == data.size()) break;
        out->push_back(',');
        ++column;
        if (column >= kWrapColumn) {
            out->append("\\\n  ");
            column = 2;
        }
    }
}

}  // namespace

namespace writer {

void regedit4_value(const Value& value, std::string* out) {
    const std::size_t line_start = out->size();
    if (value.name.empty()) {
        out->push_back('@');
    } else {
        write_string(value.name, out);
    }
    out->push_back('=');
    if (value.type == kTypeSz && value.data.find('\0') == std::string::npos) {
        write_string(value.data, out);
    } else if (value.type == kTypeDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number =
                number << 8 | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        }
        char dword[14] = {'d', 'w', 'o', 'r', 'd', ':'};
        for (int i = 0; i < 8; ++i) dword[6 + i] = kDigits[number >> (28 - 4 * i) & 0xF];
        out->append(dword, sizeof dword);
    } else {
        if (value.type == kTypeBinary) {
            out->append("hex:");
        } else {
            std::string type;
            std::uint32_t number = value.type;
            do {
                type.insert(type.begin(), kDigits[number & 0xF]);
                number >>= 4;
            } while (number != 0);
            out->append("hex(").append(type).append("):");
        }
        write_hex_bytes(value.data, out->size() - line_start, out);
    }
    out->push_back('\n');
}

void regedit4_key_line(std::string_view path, std::string* out) {
    out->push_back('[');
    out->append(kRoot).append(path);
    out->append("]\n");
}

}  // namespace writer

namespace {

void write_section(std::string_view path, const StoredKey* key, std::string* out) {
    writer::regedit4_key_line(path, out);
    if (key != nullptr) {
        for (const Value& value : key->values) writer::regedit4_value(value, out);
    }
    out->push_back('\n');
}

// About the size of the text: each byte of a key's path or a value's name
// and data once, and a line's fixed parts (quotes, "=", a type, a newline)
// for each value, so that the text is made without growing it again and
// again. Escapes and hex data may make it somewhat larger.
std::size_t estimated_size(const Hive& hive) {
    std::size_t size = kHeader.size() + 2;
    for (const StoredKey& key : hive.keys) {
        size += kRoot.size() + 2 * key.path.size() + 8;
        for (const Value& value : key.values) size += value.name.size() + value.data.size() + 16;
    }
    return size;
}

}  // namespace

std::string serialize(const Hive& hive) {
    std::string out;
    out.reserve(estimated_size(hive));
    out.append(kHeader).append("\n\n");
    // Keys by path in any case (the first of a case-blind pair, as find()
    // does), and the paths written so far: hashed, so that writing stays
    // linear in the number of keys. The views are into the keys' paths.
    std::unordered_map<std::string_view, const StoredKey*, FoldedHash, FoldedEqual> keys;
    for (const StoredKey& key : hive.keys) keys.emplace(key.path, &key);
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> written;
    const auto write = [&](std::string_view path) {
        const auto found = keys.find(path);
        if (found == keys.end()) {
            write_section(path, nullptr, &out);
            return;
        }
        write_section(found->second->path, found->second, &out);
    };
    for (const StoredKey& key : hive.keys) {
        const std::string_view path = key.path;
        const std::size_t last = path.rfind('\\');
        // Parents come first in a hive read or built by ensure(): then only
        // the parent is looked up, and the cost is the path's length.
        if (last == std::string_view::npos || written.count(path.substr(0, last)) != 0) {
            if (written.insert(path).second) write(path);
            continue;
        }
        // Each key on the way down, parents first, once each.
        for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
            const std::string_view part = path.substr(0, end);
            if (written.insert(part).second) write(part);
            if (end == std::string_view::npos) break;
        }
    }
    return out;
}

namespace writer {
namespace {

// A name or path as UTF-16 units. Bytes that are not UTF-8 (a caller's
// mistake: the model's names are UTF-8) stand for the character of the
// same number.
std::u16string units_of(std::string_view utf8) {
    std::u16string units;
    units.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t c = 0;
        if (!next_utf8(utf8, &at, &c)) c = static_cast<unsigned char>(utf8[at++]);
        if (c >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(c));
        }
    }
    return units;
}

// Writes UTF-16 text as Wine does: characters above 127 as \x and hex
// digits (four when a hex digit follows), controls as C escapes or octal
// (three digits when an octal digit follows), a NUL that ends the text not
// at all, and a backslash before itself and before `a` and `b`.
void write_units(std::u16string_view units, char a, char b, std::string* out) {
    static constexpr char kEscapes[] = ".......abtnvfr.............e....";
    char buffer[16];
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        const bool more = i + 1 < units.size();
        if (c > 127) {
            const bool digit_next =
                more && units[i + 1] < 128 && hex_digit(static_cast<char>(units[i + 1])) >= 0;
            std::snprintf(buffer, sizeof buffer, digit_next ? "\\x%04x" : "\\x%x",
                          static_cast<unsigned>(c));
            out->append(buffer);
        } else if (c < 32) {
            if (c == 0 && !more) continue;
            if (kEscapes[c] != '.') {
                out->push_back('\\');
                out->push_back(kEscapes[c]);
            } else {
                const bool octal_next = more && units[i + 1] >= '0' && units[i + 1] <= '7';
                std::snprintf(buffer, sizeof buffer, octal_next ? "\\%03o" : "\\%o",
                              static_cast<unsigned>(c));
                out->append(buffer);
            }
        } else {
            const char plain = static_cast<char>(c);
            if (plain == '\\' || plain == a || plain == b) out->push_back('\\');
            out->push_back(plain);
        }
    }
}

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kTicksTo1970 = 116444736000000000;  // from 1601

// Folds a byte of a name for Wine's order; the separator of a path's names
// sorts before every character.
int order_byte(char c) noexcept { return c == '\\' ? 0 : static_cast<unsigned char>(lower(c)); }

int compare_folded(std::string_view a, std::string_view b, bool paths) noexcept {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const int x = paths ? order_byte(a[i]) : static_cast<unsigned char>(lower(a[i]));
        const int y = paths ? order_byte(b[i]) : static_cast<unsigned char>(lower(b[i]));
        if (x != y) return x - y;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::string wine_seconds(std::uint64_t time) {
    const auto seconds = static_cast<std::uint32_t>((time - kTicksTo1970) / kTicksPerSecond);
    return " " + std::to_string(seconds);
}

std::string wine_time_line(std::uint64_t time) {
    char line[40];
    std::snprintf(line, sizeof line, "#time=%x%08x\n", static_cast<unsigned>(time >> 32),
                  static_cast<unsigned>(time & 0xFFFFFFFFu));
    return line;
}

void wine_key_lines(std::string_view path, std::uint64_t time, std::string* out) {
    out->push_back('[');
    for (std::size_t start = 0;;) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        write_units(units_of(path.substr(start, end - start)), '[', ']', out);
        if (end == path.size()) break;
        out->append("\\\\");
        start = end + 1;
    }
    out->push_back(']');
    out->append(wine_seconds(time)).push_back('\n');
    out->append(wine_time_line(time));
}

void wine_value(const Value& value, std::string* out) {
    const std::size_t line_start = out->size();
    if (value.name.empty()) {
        out->push_back('@');
    } else {
        out->push_back('"');
        write_units(units_of(value.name), '"', '"', out);
        out->push_back('"');
    }
    out->push_back('=');
    const std::string_view data = value.data;
    const std::size_t size = data.size();
    if ((value.type == kTypeSz || value.type == 2 || value.type == 7) && size >= 2 &&
        size % 2 == 0 && data[size - 2] == '\0' && data[size - 1] == '\0') {
        if (value.type != kTypeSz) out->append(value.type == 2 ? "str(2):" : "str(7):");
        std::u16string units(size / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                             static_cast<unsigned char>(data[2 * i + 1]) << 8);
        }
        out->push_back('"');
        write_units(units, '"', '"', out);
        out->append("\"\n");
        return;
    }
    if (value.type == kTypeDword && size == 4) {
        char dword[16];
        const unsigned number = static_cast<unsigned char>(data[0]) |
                                static_cast<unsigned char>(data[1]) << 8 |
                                static_cast<unsigned char>(data[2]) << 16 |
                                static_cast<unsigned>(static_cast<unsigned char>(data[3])) << 24;
        std::snprintf(dword, sizeof dword, "dword:%08x\n", number);
        out->append(dword);
        return;
    }
    char type[24];
    std::snprintf(type, sizeof type, value.type == kTypeBinary ? "hex:" : "hex(%x):",
                  static_cast<unsigned>(value.type));
    out->append(type);
    std::size_t count = out->size() - line_start;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out->push_back(kDigits[byte >> 4]);
        out->push_back(kDigits[byte & 0xF]);
        count += 2;
        if (i + 1 == size) break;
        out->push_back(',');
        if (++count > 76) {
            out->append("\\\n  ");
            count = 2;
        }
    }
    out->push_back('\n');
}

int wine_compare_paths(std::string_view a, std::string_view b) noexcept {
    return compare_folded(a, b, true);
}

int wine_compare_names(std::string_view a, std::string_view b) noexcept {
    return compare_folded(a, b, false);
}

}  // namespace writer

}  // namespace vantor::hive
