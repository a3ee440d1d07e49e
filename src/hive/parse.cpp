// Reading the text form: one grammar reader for parse() and parse_key().
#include <algorithm>
#include <cstddef>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "hive/format.h"
#include "hive/syntax.h"

namespace vantor::hive {
namespace {

using namespace syntax;

bool is_space(char c) noexcept { return c == ' ' || c == '\t'; }

// The value of each byte as a hex digit, or -1.
constexpr auto kHexDigits = [] {
    struct Table {
        signed char value[256] = {};
    } table;
    for (int c = 0; c < 256; ++c) {
        table.value[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                         : -1);
    }
    return table;
}();

int hex_digit(char c) noexcept { return kHexDigits.value[static_cast<unsigned char>(c)]; }

std::string_view trim_right(std::string_view text) noexcept {
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view trim_left(std::string_view text) noexcept {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    return text;
}

// Room made at first for the keys of a hive, and for the values of a key.
constexpr std::size_t kKeysReserved = 8;
constexpr std::size_t kValuesReserved = 16;

// The keys parsed so far, by path in any case. A few are searched one by
// one; past kIndexedFrom they are hashed, so that parsing stays linear in
// the number of keys (a search alone would make it quadratic). The paths are
// views into the text being parsed.
class KeyIndex {
  public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    KeyIndex() { paths_.reserve(kIndexedFrom); }

    std::size_t find(std::string_view path) const {
        if (hashed_.empty()) {
            for (std::size_t i = 0; i < paths_.size(); ++i) {
                if (iequals(paths_[i], path)) return i;
            }
            return kNone;
        }
        const auto found = hashed_.find(path);
        return found == hashed_.end() ? kNone : found->second;
    }

    // Adds the next key; its number is the count of keys before it.
    void add(std::string_view path) {
        paths_.push_back(path);
        if (paths_.size() == kIndexedFrom) {
            for (std::size_t i = 0; i < paths_.size(); ++i) hashed_.emplace(paths_[i], i);
        } else if (paths_.size() > kIndexedFrom) {
            hashed_.emplace(path, paths_.size() - 1);
        }
    }

  private:
    static constexpr std::size_t kIndexedFrom = 16;
    std::vector<std::string_view> paths_;
    std::unordered_map<std::string_view, std::size_t, FoldedHash, FoldedEqual> hashed_;
};

// The value names of the key being read, to find a name given twice. As with
// the keys, a few are compared one by one; past kHashedFrom they are hashed
// too, so that a key of a hundred thousand values is read in linear time.
// Names are kept as views: into the text when they hold no escape (nearly
// always), otherwise into copies pooled here and reused from key to key.
class ValueNames {
  public:
    ValueNames() { seen_.reserve(kHashedFrom); }

    // Starts over, for the values of another key.
    void clear() {
        seen_.clear();
        filter_ = 0;
        copies_used_ = 0;
        if (!hashed_.empty()) hashed_ = {};  // frees the buckets, unlike clear()
    }

    // Takes the next name of the key: false when the key had it already.
    // `in_text` tells that `name` stays valid for the whole parse.
    bool add(std::string_view name, bool in_text) {
        if (seen_.size() >= kHashedFrom) {
            if (hashed_.find(name) != hashed_.end()) return false;
        } else {
            // Names of a key often share their length and all but their last
            // bytes ("Setting 10", "Setting 12"): the last byte tells them
            // apart without a loop. A bit per (length, last byte) pair seen
            // skips the loop altogether for a name like none before it.
            const char last = name.empty() ? '\0' : lower(name.back());
            const std::uint64_t bit =
                std::uint64_t{1} << ((name.size() * 7 + static_cast<unsigned char>(last)) & 63);
            const bool maybe_seen = (filter_ & bit) != 0;
            filter_ |= bit;
            if (maybe_seen) {
                for (const std::string_view seen : seen_) {
                    if (seen.size() == name.size() &&
                        (seen.empty() || lower(seen.back()) == last) && iequals(seen, name)) {
                        return false;
                    }
                }
            }
        }
        if (!in_text) {
            if (copies_used_ == copies_.size()) copies_.push_back(std::make_unique<std::string>());
            std::string& copy = *copies_[copies_used_++];
            copy.assign(name);
            name = copy;
        }
        seen_.push_back(name);
        if (seen_.size() == kHashedFrom) {
            hashed_.insert(seen_.begin(), seen_.end());
        } else if (seen_.size() > kHashedFrom) {
            hashed_.insert(name);
        }
        return true;
    }

  private:
    static constexpr std::size_t kHashedFrom = 16;
    std::vector<std::string_view> seen_;
    std::uint64_t filter_ = 0;  // bits of the (length, last byte) pairs in seen_
    // Each copy on its own, so that it never moves; none made until needed.
    std::vector<std::unique_ptr<std::string>> copies_;
    std::size_t copies_used_ = 0;
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> hashed_;
};

// The text, one line at a time, without line ends (LF or CRLF).
class Lines {
  public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool next(std::string_view* line) noexcept {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        *line = text_.substr(pos_, end - pos_);
        if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }

    // The 1-based number of the line last returned.
    std::size_t number() const noexcept { return number_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

// Reads a quoted, escaped string at the start of `*in` and consumes it. The
// bytes between escapes are copied a run at a time; with `out` null the
// string is only checked.
bool read_string(std::string_view* in, std::string* out) {
    std::string_view text = *in;
    if (text.empty() || text.front() != '"') return false;
    if (out != nullptr) out->clear();
    std::size_t i = 1;
    for (;;) {
        std::size_t special = i;
        while (special < text.size() && text[special] != '"' && text[special] != '\\') ++special;
        if (special == text.size()) return false;  // no closing quote
        if (out != nullptr) out->append(text.data() + i, special - i);
        if (text[special] == '"') {
            in->remove_prefix(special + 1);
            return true;
        }
        if (special + 1 == text.size()) return false;
        const std::size_t escape = kEscapeLetters.find(text[special + 1]);
        if (escape == std::string_view::npos) return false;
        if (out != nullptr) out->push_back(kEscapedBytes[escape]);
        i = special + 2;
    }
}

// Reads 1 to 8 hex digits at the start of `*in` and consumes them.
bool read_hex_number(std::string_view* in, std::uint32_t* out) noexcept {
    const std::size_t size = in->size();
    const char* text = in->data();
    std::size_t count = 0;
    std::uint32_t number = 0;
    for (; count < size; ++count) {
        const int digit = hex_digit(text[count]);
        if (digit < 0) break;
        if (count == 8) return false;
        number = number << 4 | static_cast<std::uint32_t>(digit);
    }
    if (count == 0) return false;
    in->remove_prefix(count);
    *out = number;
    return true;
}

bool consume(std::string_view* in, std::string_view prefix) noexcept {
    // A loop, not memcmp(): the prefixes are a few bytes long.
    if (in->size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if ((*in)[i] != prefix[i]) return false;
    }
    in->remove_prefix(prefix.size());
    return true;
}

// Reads a comma-separated list of two-digit hex bytes, which may go on over
// continuation lines ("," "\" at a line's end). `rest` is what follows "hex:"
// or "hex(N):" on the value's own line. With `out` null the list is only
// checked.
bool read_hex_bytes(std::string_view rest, Lines* lines, std::string* out) {
    if (out != nullptr) out->clear();
    rest = trim_right(rest);
    if (rest.empty()) return true;  // no data
    for (;;) {
        if (rest.size() < 2) return false;
        const int high = hex_digit(rest[0]);
        const int low = hex_digit(rest[1]);
        if (high < 0 || low < 0) return false;
        if (out != nullptr) out->push_back(static_cast<char>(high << 4 | low));
        rest.remove_prefix(2);
        if (rest.empty()) return true;
        if (rest.front() != ',') return false;
        rest.remove_prefix(1);
        if (rest == "\\") {
            if (!lines->next(&rest)) return false;
            rest = trim_right(trim_left(rest));
        }
    }
}

// A value line as read: views valid until the next line is read.
struct ValueLine {
    std::string_view name;     // empty for the default value
    bool name_in_text = true;  // a view into the text, not into a scratch buffer
    std::uint32_t type = 0;
    std::string_view data;
};

// Reads a quoted name at the start of `*in` and consumes it. A name without
// escapes is the text between the quotes; one with escapes is decoded into
// `*scratch`.
bool read_name(std::string_view* in, std::string* scratch, ValueLine* value) {
    const std::string_view text = *in;
    std::size_t end = 1;
    while (end < text.size() && text[end] != '"' && text[end] != '\\') ++end;
    if (end < text.size() && text[end] == '"') {
        value->name = text.substr(1, end - 1);
        value->name_in_text = true;
        in->remove_prefix(end + 1);
        return true;
    }
    if (!read_string(in, scratch)) return false;
    value->name = *scratch;
    value->name_in_text = false;
    return true;
}

// Reads one value line (and the lines a hex list goes on over). The name and
// data are decoded into the scratch buffers when they are not plain views.
bool read_value(std::string_view line, Lines* lines, std::string* name, std::string* data,
                ValueLine* value) {
    if (!line.empty() && line.front() == '@') {
        line.remove_prefix(1);
        value->name = {};
        value->name_in_text = true;
    } else if (line.empty() || line.front() != '"' || !read_name(&line, name, value) ||
               value->name.empty()) {
        return false;
    }
    if (line.empty() || line.front() != '=') return false;
    line.remove_prefix(1);
    if (!line.empty() && line.front() == '"') {
        value->type = kTypeSz;
        if (!read_string(&line, data) || !trim_right(line).empty()) return false;
    } else if (consume(&line, "dword:")) {
        std::uint32_t number = 0;
        if (!read_hex_number(&line, &number) || !trim_right(line).empty()) return false;
        value->type = kTypeDword;
        const char bytes[4] = {
            static_cast<char>(number & 0xFF), static_cast<char>(number >> 8 & 0xFF),
            static_cast<char>(number >> 16 & 0xFF), static_cast<char>(number >> 24 & 0xFF)};
        if (data != nullptr) data->assign(bytes, sizeof bytes);
    } else if (consume(&line, "hex:")) {
        value->type = kTypeBinary;
        if (!read_hex_bytes(line, lines, data)) return false;
    } else if (consume(&line, "hex(")) {
        if (!read_hex_number(&line, &value->type) || !consume(&line, "):") ||
            !read_hex_bytes(line, lines, data)) {
            return false;
        }
    } else {
        return false;
    }
    value->data = data != nullptr ? std::string_view(*data) : std::string_view();
    return true;
}

// Reads a section line's key path (without the root), or returns false.
bool read_section(std::string_view line, std::string_view* path) noexcept {
    line = trim_right(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
    line = line.substr(1, line.size() - 2);
    if (line.size() < kRoot.size() || !iequals(line.substr(0, kRoot.size()), kRoot)) return false;
    *path = line.substr(kRoot.size());
    return valid_key_path(*path);
}

// Reads the whole text by the grammar and tells `sink` what it holds, in
// order: sink.add_key(path) for each key as it first appears (its number is
// the count of keys before it; parents without a section of their own come
// just before their first child), sink.enter(number) when the key's section
// starts, and, when enter() returned true, sink.value(line) for each of the
// section's values (the views last until the next call). The values of a
// section the sink does not want are checked but not decoded. Returns false, with *error filled
// when given, at the first line that breaks the grammar; the sink has then been told only part of
// the hive. parse() and parse_key() are both this function, so they accept and refuse exactly the
// same texts.
template <typename Sink>
bool read_hive(std::string_view text, Sink& sink, ParseError* error) {
    const auto fail = [error](std::size_t line, const char* message) {
        if (error != nullptr) *error = ParseError{line, message};
        return false;
    };
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        const auto newlines =
            std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
        return fail(static_cast<std::size_t>(newlines) + 1, "NUL byte");
    }
    Lines lines(text);
    std::string_view line;
    if (!lines.next(&line) || trim_right(line) != kHeader) {
        return fail(1, "the first line is not REGEDIT4");
    }

    KeyIndex index;
    ValueNames names;
    std::vector<bool> has_section;  // per key: written by its own section
    has_section.reserve(kKeysReserved);
    bool in_section = false;
    // Scratch buffers for decoded names and data, reused line after line;
    // `data` is null in a section whose values are not wanted.
    std::string name_buffer;
    std::string data_buffer;
    std::string* data = nullptr;
    ValueLine value;
    while (lines.next(&line)) {
        if (trim_right(line).empty() || line.front() == ';' || line.front() == '#') continue;
        std::string_view path;
        if (line.front() == '[') {
            if (!read_section(line, &path)) {
                const bool other_root = iequals(line.substr(1, 5), "HKEY_") &&
                                        !iequals(line.substr(1, kRoot.size()), kRoot);
                return fail(lines.number(),
                            other_root ? "key not under HKEY_LOCAL_MACHINE" : "malformed key line");
            }
            // Add parents that have no section yet, then the key itself. A
            // key already known has all its parents.
            std::size_t found = index.find(path);
            for (std::size_t end = path.find('\\'); found == KeyIndex::kNone;
                 end = path.find('\\', end + 1)) {
                const std::string_view part = path.substr(0, end);
                if (end == std::string_view::npos || index.find(part) == KeyIndex::kNone) {
                    index.add(part);
                    has_section.push_back(false);
                    sink.add_key(part);
                    if (end == std::string_view::npos) found = has_section.size() - 1;
                }
            }
            if (has_section[found]) return fail(lines.number(), "second section for the same key");
            has_section[found] = true;
            in_section = true;
            names.clear();
            data = sink.enter(found) ? &data_buffer : nullptr;
            continue;
        }
        if (!in_section) return fail(lines.number(), "value line before any key line");
        if (!read_value(line, &lines, &name_buffer, data, &value)) {
            return fail(lines.number(), "malformed value line");
        }
        if (!names.add(value.name, value.name_in_text)) {
            return fail(lines.number(), "second value of the same name in one key");
        }
        if (data != nullptr) sink.value(value);
    }
    return true;
}

// Builds the whole hive.
class HiveSink {
  public:
    HiveSink() { hive_.keys.reserve(kKeysReserved); }

    void add_key(std::string_view path) { hive_.keys.push_back(StoredKey{std::string(path), {}}); }
    bool enter(std::size_t key) {
        current_ = &hive_.keys[key];
        return true;
    }
    void value(const ValueLine& line) {
        if (current_->values.empty()) current_->values.reserve(kValuesReserved);
        current_->values.push_back(
            Value{std::string(line.name), line.type, std::string(line.data)});
    }

    Hive& hive() { return hive_; }

  private:
    Hive hive_;
    StoredKey* current_ = nullptr;
};

// Builds the one key at a path, in any case; the others are only checked.
class KeySink {
  public:
    KeySink(std::string_view wanted, std::optional<StoredKey>* key) : wanted_(wanted), key_(key) {}

    void add_key(std::string_view path) {
        // Key paths are unique in any case, so at most one matches.
        if (iequals(path, wanted_)) {
            found_ = count_;
            key_->emplace(StoredKey{std::string(path), {}});
        }
        ++count_;
    }
    bool enter(std::size_t key) const { return key == found_; }
    void value(const ValueLine& line) {
        std::vector<Value>& values = (*key_)->values;
        if (values.empty()) values.reserve(kValuesReserved);
        values.push_back(Value{std::string(line.name), line.type, std::string(line.data)});
    }

  private:
    std::string_view wanted_;
    std::optional<StoredKey>* key_;
    std::size_t count_ = 0;
    std::size_t found_ = KeyIndex::kNone;
};

}  // namespace

std::optional<Hive> parse(std::string_view text) { return parse(text, nullptr); }

std::optional<Hive> parse(std::string_view text, ParseError* error) {
    HiveSink sink;
    if (!read_hive(text, sink, error)) return std::nullopt;
    return std::move(sink.hive());
}

bool parse_key(std::string_view text, std::string_view path, std::optional<StoredKey>* key,
               ParseError* error) {
    key->reset();
    KeySink sink(path, key);
    if (read_hive(text, sink, error)) return true;
    key->reset();
    return false;
}

}  // namespace vantor::hive
