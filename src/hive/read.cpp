// Reading the text form, both dialects: one pass over the lines, each new
// key's parents looked up from the nearest (path_index.h), so that reading
// is linear in the size of the text however deep its keys nest.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "hive/charset.h"
#include "hive/reader.h"
#include "hive/syntax.h"

namespace vantor::hive::reader {
namespace {

using namespace syntax;

constexpr std::string_view kWineHeader = "WINE REGISTRY Version 2";
constexpr std::size_t kNoRun = static_cast<std::size_t>(-1);

bool is_space(char c) noexcept { return c == ' ' || c == '\t'; }

// How many bytes from text[at] on stand for themselves in a Wine string
// that ends at `end`: printable ASCII but the backslash and `end`. Eight
// bytes are judged at a time where they can be: Wine's files are mostly such
// bytes.
std::size_t plain_run(std::string_view text, std::size_t at, char end) noexcept {
    const std::size_t start = at;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    const auto zero_bytes = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t v = 0;
        std::memcpy(&v, text.data() + at, 8);
        // The lowest byte marked is exact: carries only reach bytes above it.
        const std::uint64_t marked = zero_bytes(v ^ (kOnes * '\\')) |
                                     zero_bytes(v ^ (kOnes * static_cast<unsigned char>(end))) |
                                     ((v - kOnes * 0x20) & ~v & kHighs) |  // below 0x20
                                     (((v + kOnes) | v) & kHighs);         // 0x7F and above
        if (marked != 0) return at - start + static_cast<std::size_t>(__builtin_ctzll(marked)) / 8;
    }
#endif
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c < 0x20 || c > 0x7E || c == '\\' || c == end) break;
    }
    return at - start;
}

std::string_view trim_right(std::string_view text) noexcept {
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view trim_left(std::string_view text) noexcept {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    return text;
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

// Reads 1 to `max` hex digits at the start of `*in` and consumes them.
bool read_hex_number(std::string_view* in, std::uint64_t* out, std::size_t max = 8) noexcept {
    const std::size_t size = in->size();
    const char* text = in->data();
    std::size_t count = 0;
    std::uint64_t number = 0;
    for (; count < size; ++count) {
        const int digit = hex_digit(text[count]);
        if (digit < 0) break;
        if (count == max) return false;
        number = number << 4 | static_cast<std::uint64_t>(digit);
    }
    if (count == 0) return false;
    in->remove_prefix(count);
    *out = number;
    return true;
}

bool read_hex_number(std::string_view* in, std::uint32_t* out) noexcept {
    std::uint64_t number = 0;
    if (!read_hex_number(in, &number, 8)) return false;
    *out = static_cast<std::uint32_t>(number);
    return true;
}

// The text, one line at a time, without line ends (LF or CRLF).
class Lines {
  public:
    explicit Lines(std::string_view text, std::size_t pos = 0) : text_(text), pos_(pos) {}

    bool next(std::string_view* line) noexcept {
        if (pos_ >= text_.size()) return false;
        begin_ = pos_;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        *line = text_.substr(pos_, end - pos_);
        if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
        pos_ = std::min(end + 1, text_.size());
        ++number_;
        return true;
    }

    // Puts the line last returned back, to be returned again.
    void unread() noexcept {
        pos_ = begin_;
        --number_;
    }

    // The 1-based number of the line last returned.
    std::size_t number() const noexcept { return number_; }
    // Where the line last returned starts, and where the next one does.
    std::size_t begin() const noexcept { return begin_; }
    std::size_t end() const noexcept { return pos_; }

  private:
    std::string_view text_;
    std::size_t pos_;
    std::size_t begin_ = 0;
    std::size_t number_ = 0;
};

// The value names of the key being read, to find a name given twice. A few
// are compared one by one; past kHashedFrom they are hashed, so that a key
// of a hundred thousand values is read in linear time. Names are kept as
// views: into the text when they hold no escape (nearly always), otherwise
// into copies pooled here and reused from key to key.
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
    // `in_text` tells that `name` stays valid for the whole read.
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

// ---------------------------------------------------------------------------
// REGEDIT4 strings: \\ \" \r \n are the only escapes; other bytes stand as
// they are.

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

// ---------------------------------------------------------------------------
// Wine's strings: UTF-16 text written as ASCII, with C escapes (\a \b \e \f
// \n \r \t \v), \x and one to four hex digits, \ and one to three octal
// digits, and a backslash before any other character for that character
// (\\, \", \[, \]). Other bytes stand for themselves, in UTF-8.

// Where a Wine string's text goes as it is decoded.
struct CheckOnly {
    void run(const char*, std::size_t) {}
    void unit(char16_t) {}
    void finish() {}
};

// As UTF-16LE bytes (a value's data).
struct Utf16Out {
    std::string* out;
    void run(const char* text, std::size_t size) {
        const std::size_t at = out->size();
        out->resize(at + 2 * size);
        char* to = &(*out)[at];
        for (std::size_t i = 0; i < size; ++i) {
            to[2 * i] = text[i];
            to[2 * i + 1] = '\0';
        }
    }
    void unit(char16_t c) {
        out->push_back(static_cast<char>(c & 0xFF));
        out->push_back(static_cast<char>(c >> 8));
    }
    void finish() {}
};

// As UTF-8 (a name or a path): a surrogate pair is one character, a lone
// surrogate stands as itself.
struct Utf8Out {
    std::string* out;
    char16_t high = 0;  // a high surrogate waiting for its low one
    void flush() {
        if (high != 0) append_utf8(high, out);
        high = 0;
    }
    void run(const char* text, std::size_t size) {
        flush();
        out->append(text, size);
    }
    void unit(char16_t c) {
        if (high != 0 && c >= 0xDC00 && c <= 0xDFFF) {
            append_utf8(0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (c - 0xDC00),
                        out);
            high = 0;
            return;
        }
        flush();
        if (c >= 0xD800 && c <= 0xDBFF) {
            high = c;
        } else {
            append_utf8(c, out);
        }
    }
    void finish() { flush(); }
};

// Reads a Wine string up to the first unescaped `end` character, which it
// consumes; `*in` starts just after the opening quote or bracket. Runs of
// plain ASCII go to `out` whole. False without that end, or for bytes that
// are not UTF-8.
template <typename Out>
bool read_wine_string(std::string_view* in, char end, Out& out) {
    const std::string_view text = *in;
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
    for (;;) {
        const std::size_t run = plain_run(text, i, end);
        if (run != 0) out.run(data + i, run);
        i += run;
        if (i == size) return false;
        const char c = data[i];
        if (c == end) {
            out.finish();
            in->remove_prefix(i + 1);
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x80 && c != '\\') {
            out.unit(static_cast<unsigned char>(c));  // a control or DEL, as it is
            ++i;
            continue;
        }
        if (c != '\\') {
            char32_t code = 0;
            if (!next_utf8(text, &i, &code) || (code >= 0xD800 && code <= 0xDFFF)) return false;
            if (code >= 0x10000) {
                out.unit(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
                out.unit(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
            } else {
                out.unit(static_cast<char16_t>(code));
            }
            continue;
        }
        if (++i == size) return false;
        const char escaped = data[i++];
        char16_t unit = static_cast<unsigned char>(escaped);
        switch (escaped) {
            case 'a':
                unit = '\a';
                break;
            case 'b':
                unit = '\b';
                break;
            case 'e':
                unit = 0x1B;
                break;
            case 'f':
                unit = '\f';
                break;
            case 'n':
                unit = '\n';
                break;
            case 'r':
                unit = '\r';
                break;
            case 't':
                unit = '\t';
                break;
            case 'v':
                unit = '\v';
                break;
            case 'x':
                // Without a hex digit after it, "\x" is an "x".
                for (int digits = 0; digits < 4 && i < size && hex_digit(data[i]) >= 0; ++digits) {
                    unit =
                        static_cast<char16_t>((digits == 0 ? 0 : unit * 16) + hex_digit(data[i++]));
                }
                break;
            default:
                if (escaped >= '0' && escaped <= '7') {
                    unit = static_cast<char16_t>(escaped - '0');
                    for (int digits = 1; digits < 3 && i < size && data[i] >= '0' && data[i] <= '7';
                         ++digits) {
                        unit = static_cast<char16_t>(unit * 8 + (data[i++] - '0'));
                    }
                }
                break;
        }
        out.unit(unit);
    }
}

// Whether a Wine string's text up to its end stands for itself: printable
// ASCII without a backslash. Then the text is the decoded string.
bool plain_wine_text(std::string_view text, char end, std::size_t* length) noexcept {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == end) {
            *length = i;
            return true;
        }
        if (c == '\\' || c < 0x20 || c > 0x7E) return false;
    }
    return false;
}

// ---------------------------------------------------------------------------

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

// The greatest total of the key paths a text may imply, its parents without
// a line of their own included: a few times the text, so that a text of a
// few lines nested hundreds of keys deep cannot make the reader build
// gigabytes of paths.
std::size_t path_budget(std::size_t text_size) noexcept { return 4 * text_size + (1u << 20); }

class Reader {
  public:
    Reader(std::string_view text, Dialect dialect, Sink& sink, PathIndex* index, ParseError* error,
           std::size_t pos = 0)
        : text_(text),
          dialect_(dialect),
          sink_(sink),
          index_(index),
          error_(error),
          lines_(text, pos),
          budget_(path_budget(text.size())) {}

    bool read_all();
    bool read_one_section();

  private:
    bool fail(const char* message) { return fail(lines_.number(), message); }
    bool fail(std::size_t line, const char* message) {
        if (error_ != nullptr) *error_ = ParseError{line, message};
        return false;
    }

    // A line of a section: blank, comment, option or value. False (with the
    // error set) when it is none of them.
    bool body_line(std::string_view line);
    // A key line: checks it, finds or adds its key, and enters its section.
    bool key_line(std::string_view line);
    // The key line's path, decoded into path_ (names separated by single
    // backslashes), with the line's checks; false with the error set.
    bool regedit4_path(std::string_view line);
    bool wine_path(std::string_view line);
    // Finds or adds the key at path_, parents first; its number.
    bool resolve(std::uint32_t* key);
    bool regedit4_value(std::string_view line, ValueLine* value);
    bool wine_value(std::string_view line, ValueLine* value);
    bool number_or_hex(std::string_view line, ValueLine* value, std::string* data);
    bool wine_option(std::string_view line, Option* kind);

    std::string_view text_;
    Dialect dialect_;
    Sink& sink_;
    PathIndex* index_;  // null when a lone section is read again
    ParseError* error_;
    Lines lines_;
    std::size_t budget_;

    std::vector<bool> has_section_;  // per key: its key line was read
    std::vector<std::size_t> ends_;  // of the paths of the keys a key line adds
    bool in_section_ = false;
    bool wanted_ = false;  // the sink wants the values of the current section
    std::size_t blank_run_ = kNoRun;
    ValueNames names_;
    std::string_view path_;  // of the last key line: into the text or path_buffer_
    std::string path_buffer_;
    std::string name_buffer_;
    std::string data_buffer_;
};

bool Reader::read_all() {
    std::string_view line;
    if (const std::size_t nul = text_.find('\0'); nul != std::string_view::npos) {
        const auto newlines =
            std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
        return fail(static_cast<std::size_t>(newlines) + 1, "NUL byte");
    }
    if (!lines_.next(&line)) line = {};
    if (dialect_ == Dialect::kWine ? trim_right(line) != kWineHeader
                                   : trim_right(line) != kHeader) {
        return fail(1, dialect_ == Dialect::kWine ? "the first line is not WINE REGISTRY Version 2"
                                                  : "the first line is not REGEDIT4");
    }
    while (lines_.next(&line)) {
        if (!line.empty() && line.front() == '[') {
            if (!key_line(line)) return false;
        } else if (!in_section_ && dialect_ == Dialect::kWine && !line.empty() &&
                   line.front() == '#') {
            sink_.preamble(line);  // "#arch=win64"
            blank_run_ = kNoRun;
        } else if (!body_line(line)) {
            return false;
        }
    }
    return true;
}

bool Reader::read_one_section() {
    std::string_view line;
    if (!lines_.next(&line) || line.empty() || line.front() != '[' || !key_line(line)) return false;
    while (lines_.next(&line)) {
        if (!line.empty() && line.front() == '[') break;
        if (!body_line(line)) return false;
    }
    return true;
}

bool Reader::body_line(std::string_view line) {
    if (trim_right(line).empty()) {
        if (blank_run_ == kNoRun) blank_run_ = lines_.begin();
        return true;
    }
    blank_run_ = kNoRun;
    const char first = line.front();
    if (first == ';' || (first == '#' && dialect_ == Dialect::kRegedit4)) return true;
    if (!in_section_) return fail("value line before any key line");
    if (first == '#') {
        Option kind = Option::kOther;
        if (!wine_option(line, &kind)) return fail("malformed option line");
        sink_.option(kind, Span{lines_.begin(), lines_.end()});
        return true;
    }
    const std::size_t begin = lines_.begin();
    ValueLine value;
    const bool read =
        dialect_ == Dialect::kWine ? wine_value(line, &value) : regedit4_value(line, &value);
    if (!read) return fail("malformed value line");
    // A UTF-8 name has at least as many bytes as UTF-16 units.
    if (value.name.size() > kMaxValueNameLength &&
        (dialect_ == Dialect::kRegedit4 || utf16_length(value.name) > kMaxValueNameLength)) {
        return fail("value name longer than 16383 characters");
    }
    if (!names_.add(value.name, value.name_in_text)) {
        return fail("second value of the same name in one key");
    }
    value.lines = Span{begin, lines_.end()};
    if (wanted_) sink_.value(value);
    return true;
}

bool Reader::key_line(std::string_view line) {
    const Section section{blank_run_ == kNoRun ? lines_.begin() : blank_run_,
                          Span{lines_.begin(), lines_.end()}};
    blank_run_ = kNoRun;
    if (!(dialect_ == Dialect::kWine ? wine_path(line) : regedit4_path(line))) return false;
    std::uint32_t key = PathIndex::kNone;
    if (index_ != nullptr && !resolve(&key)) return false;
    in_section_ = true;
    names_.clear();
    wanted_ = sink_.enter(key, section);
    return true;
}

bool Reader::regedit4_path(std::string_view line) {
    line = trim_right(line);
    bool ok = line.size() >= 2 && line.back() == ']';
    if (ok) {
        const std::string_view inner = line.substr(1, line.size() - 2);
        ok = inner.size() >= kRoot.size() && iequals(inner.substr(0, kRoot.size()), kRoot);
        if (ok) path_ = inner.substr(kRoot.size());
    }
    if (ok) {
        ok = !path_.empty() && path_.front() != '\\' && path_.back() != '\\' &&
             path_.find("\\\\") == std::string_view::npos &&
             path_.find_first_of("\r\n") == std::string_view::npos;
    }
    if (!ok) {
        const bool other_root =
            iequals(line.substr(1, 5), "HKEY_") && !iequals(line.substr(1, kRoot.size()), kRoot);
        return fail(other_root ? "key not under HKEY_LOCAL_MACHINE" : "malformed key line");
    }
    std::size_t depth = 1;
    std::size_t name_length = 0;
    for (const char c : path_) {
        if (c != '\\') {
            if (++name_length > kMaxKeyNameLength) {
                return fail("key name longer than 256 characters");
            }
        } else if (++depth > kMaxKeyDepth) {
            return fail("key nested deeper than 512 levels");
        } else {
            name_length = 0;
        }
    }
    return true;
}

bool Reader::wine_path(std::string_view line) {
    std::string_view rest = line.substr(1);
    // Nearly every key line holds printable ASCII names between "\\"
    // separators: those are copied as they are, without decoding.
    path_buffer_.clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t run = plain_run(rest, at, ']');
        path_buffer_.append(rest.data() + at, run);
        at += run;
        if (at + 1 >= rest.size() || rest[at] != '\\' || rest[at + 1] != '\\') break;
        path_buffer_.push_back('\\');
        at += 2;
    }
    if (at < rest.size() && rest[at] == ']') {
        rest.remove_prefix(at + 1);
    } else {
        path_buffer_.clear();
        Utf8Out out{&path_buffer_};
        if (!read_wine_string(&rest, ']', out)) return fail("malformed key line");
    }
    path_ = path_buffer_;
    // "] 1796770478": the key's modification time in seconds.
    std::string_view stamp = trim_right(rest);
    if (!stamp.empty()) {
        const bool spaced = is_space(stamp.front());
        stamp = trim_left(stamp);
        if (!spaced ||
            !std::all_of(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return fail("malformed key line");
        }
    }
    // Names hold no NUL (Windows' calls take them NUL-terminated).
    if (path_.empty() || path_.front() == '\\' || path_.back() == '\\' ||
        path_.find("\\\\") != std::string_view::npos ||
        path_.find('\0') != std::string_view::npos) {
        return fail("malformed key line");
    }
    std::size_t depth = 1;
    for (std::size_t start = 0;;) {
        std::size_t end = path_.find('\\', start);
        if (end == std::string_view::npos) end = path_.size();
        if (end - start > kMaxKeyNameLength &&
            utf16_length(path_.substr(start, end - start)) > kMaxKeyNameLength) {
            return fail("key name longer than 256 characters");
        }
        if (end == path_.size()) break;
        if (++depth > kMaxKeyDepth) return fail("key nested deeper than 512 levels");
        start = end + 1;
    }
    return true;
}

bool Reader::resolve(std::uint32_t* key) {
    std::uint32_t found = index_->find(path_);
    if (found == PathIndex::kNone) {
        // The key is new: so are those of its parents that the index lacks,
        // looked up from the nearest one (each at most once in all).
        ends_.assign(1, path_.size());
        for (std::size_t slash = path_.rfind('\\'); slash != std::string_view::npos;
             slash = path_.rfind('\\', slash - 1)) {
            if (index_->find(path_.substr(0, slash)) != PathIndex::kNone) break;
            ends_.push_back(slash);
        }
        for (auto end = ends_.rbegin(); end != ends_.rend(); ++end) {
            if (*end > budget_) return fail("key paths too long in all");
            budget_ -= *end;
            found = index_->add(path_.substr(0, *end));
            has_section_.push_back(false);
            sink_.add_key(path_.substr(0, *end));
        }
    }
    if (has_section_[found]) return fail("second section for the same key");
    has_section_[found] = true;
    *key = found;
    return true;
}

// Reads a quoted REGEDIT4 name at the start of `*in` and consumes it. A name
// without escapes is the text between the quotes; one with escapes is
// decoded into `*scratch`.
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

bool Reader::regedit4_value(std::string_view line, ValueLine* value) {
    std::string* data = wanted_ ? &data_buffer_ : nullptr;
    if (!line.empty() && line.front() == '@') {
        line.remove_prefix(1);
        value->name = {};
        value->name_in_text = true;
    } else if (line.empty() || line.front() != '"' || !read_name(&line, &name_buffer_, value) ||
               value->name.empty()) {
        return false;
    }
    if (line.empty() || line.front() != '=') return false;
    line.remove_prefix(1);
    if (!line.empty() && line.front() == '"') {
        value->type = kTypeSz;
        if (!read_string(&line, data) || !trim_right(line).empty()) return false;
        value->data = data != nullptr ? std::string_view(*data) : std::string_view();
        return true;
    }
    return number_or_hex(line, value, data);
}

bool Reader::wine_value(std::string_view line, ValueLine* value) {
    std::string* data = wanted_ ? &data_buffer_ : nullptr;
    if (!line.empty() && line.front() == '@') {
        line.remove_prefix(1);
        value->name = {};
        value->name_in_text = true;
    } else if (!line.empty() && line.front() == '"') {
        line.remove_prefix(1);
        std::size_t plain = 0;
        if (plain_wine_text(line, '"', &plain)) {
            value->name = line.substr(0, plain);
            value->name_in_text = true;
            line.remove_prefix(plain + 1);
        } else {
            name_buffer_.clear();
            Utf8Out out{&name_buffer_};
            if (!read_wine_string(&line, '"', out)) return false;
            value->name = name_buffer_;
            value->name_in_text = false;
        }
        // The default value is "@"; names hold no NUL.
        if (value->name.empty() || value->name.find('\0') != std::string_view::npos) return false;
    } else {
        return false;
    }
    if (line.empty() || line.front() != '=') return false;
    line.remove_prefix(1);
    std::uint32_t string_type = 0;
    if (consume(&line, "\"") || consume(&line, "str:\"")) {
        string_type = kTypeSz;
    } else if (consume(&line, "str(2):\"")) {
        string_type = 2;  // REG_EXPAND_SZ
    } else if (consume(&line, "str(7):\"")) {
        string_type = 7;  // REG_MULTI_SZ
    }
    if (string_type != 0) {
        // The data are the UTF-16LE units and a terminating NUL.
        value->type = string_type;
        bool read = false;
        if (data != nullptr) {
            data->clear();
            Utf16Out out{data};
            read = read_wine_string(&line, '"', out);
            data->append(2, '\0');
        } else {
            CheckOnly out;
            read = read_wine_string(&line, '"', out);
        }
        if (!read || !trim_right(line).empty()) return false;
        value->data = data != nullptr ? std::string_view(*data) : std::string_view();
        return true;
    }
    return number_or_hex(line, value, data);
}

// The data after a value's "=" that both dialects write alike: "dword:" and
// its number, "hex:" or "hex(N):" and their bytes (continued on the next
// lines), into *data when given.
bool Reader::number_or_hex(std::string_view line, ValueLine* value, std::string* data) {
    if (consume(&line, "dword:")) {
        std::uint32_t number = 0;
        if (!read_hex_number(&line, &number) || !trim_right(line).empty()) return false;
        value->type = kTypeDword;
        const char bytes[4] = {
            static_cast<char>(number & 0xFF), static_cast<char>(number >> 8 & 0xFF),
            static_cast<char>(number >> 16 & 0xFF), static_cast<char>(number >> 24 & 0xFF)};
        if (data != nullptr) data->assign(bytes, sizeof bytes);
    } else if (consume(&line, "hex:")) {
        value->type = kTypeBinary;
        if (!read_hex_bytes(line, &lines_, data)) return false;
    } else if (consume(&line, "hex(")) {
        if (!read_hex_number(&line, &value->type) || !consume(&line, "):") ||
            !read_hex_bytes(line, &lines_, data)) {
            return false;
        }
    } else {
        return false;
    }
    value->data = data != nullptr ? std::string_view(*data) : std::string_view();
    return true;
}

bool Reader::wine_option(std::string_view line, Option* kind) {
    line = trim_right(line);
    if (consume(&line, "#time=")) {
        std::uint64_t time = 0;
        *kind = Option::kTime;
        return read_hex_number(&line, &time, 16) && line.empty();
    }
    if (consume(&line, "#class=\"")) {
        *kind = Option::kClass;
        CheckOnly out;
        return read_wine_string(&line, '"', out) && line.empty();
    }
    *kind = line == "#link" ? Option::kLink : Option::kOther;
    return true;
}

}  // namespace

std::optional<Dialect> dialect_of(std::string_view text) noexcept {
    std::string_view first = text.substr(0, text.find('\n'));
    if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
    first = trim_right(first);
    if (first == kHeader) return Dialect::kRegedit4;
    if (first == kWineHeader) return Dialect::kWine;
    return std::nullopt;
}

bool read(std::string_view text, std::optional<Dialect> only, Sink& sink, PathIndex* index,
          ParseError* error) {
    index->clear();
    std::optional<Dialect> dialect = dialect_of(text);
    if (only && dialect != only) dialect = only;  // reported as not its header below
    if (!dialect) {
        if (error != nullptr) {
            *error = ParseError{1, "the first line is not REGEDIT4 or WINE REGISTRY Version 2"};
        }
        return false;
    }
    Reader reader(text, *dialect, sink, index, error);
    return reader.read_all();
}

bool read_section(std::string_view text, Dialect dialect, std::size_t begin, Sink& sink) {
    Reader reader(text, dialect, sink, nullptr, nullptr, begin);
    return reader.read_one_section();
}

}  // namespace vantor::hive::reader
