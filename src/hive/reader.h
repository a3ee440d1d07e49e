// The one reader of both dialects of the text form (format.h): parse(),
// read_one_key() and Document are all built on it, so they accept
// and refuse exactly the same texts. Private to the codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "hive/format.h"
#include "hive/path_index.h"

namespace vantor::hive::reader {

// [begin, end) in bytes of the text.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// A key line as read.
struct Section {
    std::size_t lead = 0;  // where the blank lines just before it start (header.begin: none)
    Span header;           // the line, with its line end
};

// The lines a Wine file may have after a key line ("#time=1dd876f0bfd8546").
enum class Option { kTime, kClass, kLink, kOther };

// A value as read: views valid until the next line is read.
struct ValueLine {
    std::string_view name;     // empty for the default value
    bool name_in_text = true;  // a view into the text, not into a scratch buffer
    std::uint32_t type = 0;
    std::string_view data;  // empty unless the sink wanted the key's values
    Span lines;             // the value's lines, the last one's line end included
};

// What a text holds, told in order as it is read.
class Sink {
  public:
    virtual ~Sink() = default;
    // A line of a Wine file between its first line and its first key line.
    virtual void preamble(std::string_view line) { static_cast<void>(line); }
    // A key, as it first appears: its number is the count of keys before it.
    // Parents without a key line of their own come just before their first
    // child.
    virtual void add_key(std::string_view path) = 0;
    // The key line of key number `key` (PathIndex::kNone when a lone section
    // is read again). True: the section's values are wanted, decoded.
    virtual bool enter(std::size_t key, const Section& section) = 0;
    virtual void option(Option kind, Span line) {
        static_cast<void>(kind);
        static_cast<void>(line);
    }
    // A value of a section whose values are wanted.
    virtual void value(const ValueLine& value) = 0;
};

// The dialect of a text, told by its first line; nullopt for neither.
std::optional<Dialect> dialect_of(std::string_view text) noexcept;

// Reads the whole text in its dialect (with `only`, that one alone), telling
// `sink` what it holds and adding each key to `index` (cleared first) under
// the same number. False, with *error filled when given, at the first line
// that breaks the grammar; the sink has then been told only part of it.
bool read(std::string_view text, std::optional<Dialect> only, Sink& sink, PathIndex* index,
          ParseError* error);

// Reads the one section whose key line starts at `begin`, in a text that
// read() accepted before and that was changed since only by the codec's own
// writers: sink.enter(PathIndex::kNone, ...), then its options and values.
// False when the text there is not a section after all.
bool read_section(std::string_view text, Dialect dialect, std::size_t begin, Sink& sink);

}  // namespace vantor::hive::reader
