// A hive as a text that others may have written too: the model (model.h)
// with where each key and value lies in the text, edited so that every byte
// the edit does not concern stays as it was.
//
// A Document reads a text of either dialect (format.h), told by its first
// line. Edits change the model at once; commit() writes them into the text,
// changing only the lines of the values set or deleted, adding the lines of
// new values and keys, and removing those of deleted values and keys.
// Comments, blank lines, line ends, the spelling of every other value
// ("dword:1", upper-case hex) and the order of lines are kept byte for
// byte. In Wine's files a key whose values change, or which gains or loses a
// subkey, gets its "[...] <seconds>" and "#time=" lines set to the commit's
// time, as Wine does. Committed, the Document is ready for the next edit:
// a run of writes to a large hive reads its text once.
//
// What is written new follows the dialect's own form. REGEDIT4: a new value
// after the key's last value, a new key at the end of the text with a
// section for each key added on its way (so that a new hive is written
// exactly as serialize() writes it), in the text's line ends. Wine: values
// and keys where Wine would put them (values by name; a key before the
// first key that sorts after it, names compared in any case), a section only
// for a key with values or without subkeys, as Wine saves its registry.
//
// Names and paths are compared in any case, ASCII letters only (Wine folds
// every letter; two non-ASCII names differing only in case are two keys
// here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/format.h"
#include "hive/model.h"
#include "hive/path_index.h"

namespace vantor::hive {

class Document {
  public:
    // A new, empty hive: "REGEDIT4" and a blank line; or for Wine its first
    // line and ";; All keys relative to REGISTRY\\Machine".
    explicit Document(Dialect dialect = Dialect::kRegedit4);

    // Reads `text`; nullopt (with *error filled when given) when it does not
    // follow its dialect's grammar in full, as parse() judges REGEDIT4.
    static std::optional<Document> parse(std::string text, ParseError* error = nullptr);

    Dialect dialect() const noexcept { return dialect_; }
    // The text as last read or committed.
    const std::string& text() const noexcept { return text_; }
    // Wine: the prefix's architecture its "#arch=" line names ("win64",
    // "win32"); empty for REGEDIT4 or without one. In a win64 prefix the
    // 32-bit programs' keys lie under Software\Wow6432Node.
    std::string_view arch() const noexcept { return arch_; }

    // The model: every key, each parent before its children, with paths
    // below the file's root and the values in the text's order. In Wine's
    // files names and paths are UTF-8 and string data (REG_SZ,
    // REG_EXPAND_SZ, REG_MULTI_SZ) the UTF-16LE bytes Wine holds, with their
    // terminating NUL (charset.h converts the game's texts).
    const Hive& hive() const noexcept { return hive_; }
    // The key at `path`, in any case, or nullptr: one hash of the path.
    const StoredKey* find(std::string_view path) const noexcept;

    // Edits. Each returns whether it changed the hive. A path or a value
    // name the dialect cannot hold (valid_key_path(), valid_value_name(),
    // in UTF-16 units for Wine's files) changes nothing: the caller refuses
    // it first, with ERROR_INVALID_PARAMETER as the registry does.
    //
    // Adds the key and any missing parent.
    bool add_key(std::string_view path);
    // Creates or replaces a value, adding its key when missing. A replaced
    // value keeps the case of its name.
    bool set_value(std::string_view path, std::string_view name, std::uint32_t type,
                   std::string_view data);
    bool delete_value(std::string_view path, std::string_view name);
    // Deletes the key and its subkeys.
    bool delete_key(std::string_view path);

    // Whether edits wait for commit().
    bool changed() const noexcept { return !dirty_.empty() || !removals_.empty(); }

    // Writes the edits since the last commit into the text. `now` is the
    // time Wine's files stamp on modified keys, as a Windows FILETIME
    // (100-nanosecond ticks since 1601).
    void commit(std::uint64_t now);
    // The same at the system clock's time.
    void commit();
    static std::uint64_t filetime_now();

  private:
    struct ValueLayout {
        std::size_t begin = 0;  // the value's lines, from its key line's start
        std::size_t end = 0;
        enum : std::uint8_t { kClean, kChanged, kNew } state = kClean;
    };
    // Where a key lies in the text, and what waits to be written of it.
    struct KeyLayout {
        std::uint32_t parent = PathIndex::kNone;
        std::uint32_t children = 0;
        bool has_section = false;
        std::size_t lead = 0;        // the blank lines before its key line start here
        std::size_t begin = 0;       // its key line
        std::size_t end = 0;         // the end of its last line (key line, option or value)
        std::size_t header_end = 0;  // from begin: the end of the key line
        std::size_t time_begin = 0;  // from begin: Wine's "#time=" line, when time_end != 0
        std::size_t time_end = 0;
        std::vector<ValueLayout> values;  // one for each value of the key, in order
        bool dirty = false;               // in dirty_
        bool touched = false;             // Wine: its time is set at the commit
    };
    // Bytes of the text replaced at the commit.
    struct Patch {
        std::size_t begin;
        std::size_t end;
        std::string text;
        std::uint64_t order;     // among patches at the same place
        std::uint32_t key;       // the key whose section starts in `text`, or kNone
        std::size_t header = 0;  // where in `text` that key line starts
        bool in_line = false;    // `text` goes within a line, not as lines of its own
    };
    class Builder;

    bool holds(std::string_view path, std::string_view name = {}) const noexcept;
    std::uint32_t key_number(std::string_view path) const noexcept;
    std::uint32_t ensure(std::string_view path);
    void mark(std::uint32_t key);
    void touch(std::uint32_t key);
    bool needs_section(std::uint32_t key) const noexcept;
    std::string eol() const;
    void add_value_patches(std::uint32_t key, std::uint64_t now, std::vector<Patch>* patches);
    Patch new_section(std::uint32_t key, std::uint64_t now) const;
    std::size_t wine_place(std::uint32_t key) const;
    void index_section(std::uint32_t key, std::size_t begin);
    void rebuild_index();

    Dialect dialect_;
    std::string text_;
    std::string spare_;  // the old text (or its moved part) the last commit let go of, for reuse
    std::string arch_;
    Hive hive_;
    std::vector<KeyLayout> layout_;  // one for each key of hive_
    PathIndex index_;
    std::vector<std::uint32_t> dirty_;  // keys edited since the last commit
    std::vector<Patch> removals_;       // lines of deleted values and keys
    std::uint64_t next_order_ = 0;
};

}  // namespace vantor::hive
