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

// Bytes without an escape are copied in runs, not one by one: a large
// hive is mostly such runs.
void write_string(std::string_view text, std::string* out) {
    out->push_back('"');
    while (!text.empty()) {
        std::size_t run = 0;
        while (run < text.size() && text[run] != '\\' && text[run] != '"' && text[run] != '\r' &&
               text[run] != '\n') {
            ++run;
        }
        out->append(text.data(), run);
        if (run == text.size()) break;
        out->push_back('\\');
        out->push_back(kEscapeLetters[kEscapedBytes.find(text[run])]);
        text.remove_prefix(run + 1);
    }
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
        out->append("dword:");
        for (int shift = 28; shift >= 0; shift -= 4) out->push_back(kDigits[number >> shift & 0xF]);
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
}  // namespace

std::string serialize(const Hive& hive) {
    std::string out;
    out.append(kHeader).append("\n\n");
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
                if (found != keys.end()) {
                    write_section(found->second->path, found->second, &out);
                } else {
                    write_section(path, nullptr, &out);
                }
            }
            if (end == std::string::npos) break;
        }
    }
    return out;
}

}  // namespace vantor::hive
