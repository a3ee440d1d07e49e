// Writing the text form: serialize() and the value lines it is made of.
#include <cstddef>
#include <unordered_map>
#include <unordered_set>

#include "hive/format.h"
#include "hive/syntax.h"

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

void write_value(const Value& value, std::string* out) {
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

void write_section(std::string_view path, const StoredKey* key, std::string* out) {
    out->push_back('[');
    out->append(kRoot).append(path);
    out->append("]\n");
    if (key != nullptr) {
        for (const Value& value : key->values) write_value(value, out);
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

std::string serialize(const Hive& hive, Sections* sections) {
    std::string out;
    out.reserve(estimated_size(hive));
    out.append(kHeader).append("\n\n");
    if (sections != nullptr) sections->assign(hive.keys.size(), Section{});
    // Keys by path in any case (the first of a case-blind pair, as find()
    // does), and the paths written so far: hashed, so that writing stays
    // linear in the number of keys. The views are into the keys' paths.
    std::unordered_map<std::string_view, const StoredKey*, FoldedHash, FoldedEqual> keys;
    for (const StoredKey& key : hive.keys) keys.emplace(key.path, &key);
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> written;
    for (const StoredKey& key : hive.keys) {
        // Each key on the way down, parents first, once each.
        for (std::size_t end = key.path.find('\\');; end = key.path.find('\\', end + 1)) {
            const std::string_view path = std::string_view(key.path).substr(0, end);
            if (written.insert(path).second) {
                const auto found = keys.find(path);
                if (found == keys.end()) {
                    write_section(path, nullptr, &out);
                } else {
                    const std::size_t begin = out.size();
                    write_section(found->second->path, found->second, &out);
                    if (sections != nullptr) {
                        (*sections)[static_cast<std::size_t>(found->second - hive.keys.data())] =
                            Section{begin, out.size()};
                    }
                }
            }
            if (end == std::string::npos) break;
        }
    }
    return out;
}

std::string serialize(const Hive& hive) { return serialize(hive, nullptr); }

bool rewrite_section(const Hive& hive, std::size_t index, std::string* text, Sections* sections) {
    if (index >= hive.keys.size() || sections->size() != hive.keys.size()) return false;
    const Section old = (*sections)[index];
    if (old.end == 0) return false;  // the key has no section of its own
    std::string section;
    write_section(hive.keys[index].path, &hive.keys[index], &section);
    text->replace(old.begin, old.end - old.begin, section);
    const std::size_t end = old.begin + section.size();
    for (Section& other : *sections) {
        if (other.begin >= old.end) {
            other.begin = other.begin - old.end + end;
            other.end = other.end - old.end + end;
        }
    }
    (*sections)[index].end = end;
    return true;
}

}  // namespace vantor::hive
