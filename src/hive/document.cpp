#include "hive/document.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

#include "hive/charset.h"
#include "hive/reader.h"
#include "hive/writer.h"

namespace vantor::hive {
namespace {

constexpr std::string_view kWineHead =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n";

// Where the blank lines just before the line at `begin` start.
std::size_t blank_lead(std::string_view text, std::size_t begin) {
    std::size_t lead = begin;
    while (lead > 0) {
        // The line before runs from `start` to its line feed at lead - 1.
        const std::size_t feed = lead == 1 ? std::string_view::npos : text.rfind('\n', lead - 2);
        const std::size_t start = feed == std::string_view::npos ? 0 : feed + 1;
        const std::string_view line = text.substr(start, lead - 1 - start);
        if (line.find_first_not_of(" \t\r") != std::string_view::npos) break;
        lead = start;
    }
    return lead;
}

}  // namespace

// Fills the model and the layout as the reader goes. When a lone section is
// read again (key kNone) it fills only that key's layout, checking that the
// text still holds the values the model does.
class Document::Builder final : public reader::Sink {
  public:
    explicit Builder(Document& document, std::uint32_t again = PathIndex::kNone)
        : document_(document), again_(again) {}

    void preamble(std::string_view line) override {
        constexpr std::string_view kArch = "#arch=";
        if (line.substr(0, kArch.size()) == kArch) {
            line.remove_prefix(kArch.size());
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
                line.remove_suffix(1);
            }
            document_.arch_.assign(line);
        }
    }
    void add_key(std::string_view path) override {
        document_.hive_.keys.push_back(StoredKey{std::string(path), {}});
        document_.layout_.emplace_back();
    }
    bool enter(std::size_t key, const reader::Section& section) override {
        current_ = key == PathIndex::kNone ? again_ : static_cast<std::uint32_t>(key);
        KeyLayout& layout = document_.layout_[current_];
        layout.has_section = true;
        layout.lead = section.lead;
        layout.begin = section.header.begin;
        layout.header_end = section.header.end - section.header.begin;
        layout.end = section.header.end;
        layout.time_begin = layout.time_end = 0;
        layout.values.clear();  // read again: the values are the model's already
        return true;
    }
    void option(reader::Option kind, reader::Span line) override {
        KeyLayout& layout = document_.layout_[current_];
        if (kind == reader::Option::kTime && layout.time_end == 0) {
            layout.time_begin = line.begin - layout.begin;
            layout.time_end = line.end - layout.begin;
        }
        layout.end = line.end;
    }
    void value(const reader::ValueLine& line) override {
        KeyLayout& layout = document_.layout_[current_];
        std::vector<Value>& values = document_.hive_.keys[current_].values;
        const std::size_t index = layout.values.size();
        layout.values.push_back(ValueLayout{line.lines.begin - layout.begin,
                                            line.lines.end - layout.begin, ValueLayout::kClean});
        layout.end = line.lines.end;
        if (again_ == PathIndex::kNone) {
            values.push_back(Value{std::string(line.name), line.type, std::string(line.data)});
        } else if (index >= values.size() || !iequals(values[index].name, line.name) ||
                   values[index].type != line.type || values[index].data != line.data) {
            throw std::logic_error("hive: a written section does not hold its key's values");
        }
    }

  private:
    Document& document_;
    std::uint32_t again_;
    std::uint32_t current_ = 0;
};

Document::Document(Dialect dialect) : dialect_(dialect) {
    text_ = dialect == Dialect::kWine ? std::string(kWineHead) : "REGEDIT4\n\n";
}

std::optional<Document> Document::parse(std::string text, ParseError* error) {
    std::optional<Document> document(std::in_place);
    document->text_ = std::move(text);
    const std::optional<Dialect> dialect = reader::dialect_of(document->text_);
    document->dialect_ = dialect.value_or(Dialect::kRegedit4);
    Builder builder(*document);
    if (!reader::read(document->text_, std::nullopt, builder, &document->index_, error)) {
        return std::nullopt;
    }
    for (std::uint32_t key = 0; key < document->layout_.size(); ++key) {
        const std::string_view parent = parent_path(document->hive_.keys[key].path);
        if (parent.empty()) continue;
        const std::uint32_t number = document->index_.find(parent);
        document->layout_[key].parent = number;
        ++document->layout_[number].children;
    }
    return document;
}

const StoredKey* Document::find(std::string_view path) const noexcept {
    const std::uint32_t key = key_number(path);
    return key == PathIndex::kNone ? nullptr : &hive_.keys[key];
}

bool Document::holds(std::string_view path, std::string_view name) const noexcept {
    if (dialect_ == Dialect::kRegedit4) return valid_key_path(path) && valid_value_name(name);
    // Wine's names are UTF-16: the limits count its units, and UTF-8 has at
    // least as many bytes.
    if (path.empty() || path.front() == '\\' || path.back() == '\\' ||
        path.find("\\\\") != std::string_view::npos || path.find('\0') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos ||
        (name.size() > kMaxValueNameLength && utf16_length(name) > kMaxValueNameLength)) {
        return false;
    }
    std::size_t depth = 0;
    for (std::size_t start = 0; start <= path.size(); ++depth) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end - start > kMaxKeyNameLength &&
            utf16_length(path.substr(start, end - start)) > kMaxKeyNameLength) {
            return false;
        }
        start = end + 1;
    }
    return depth <= kMaxKeyDepth;
}

std::uint32_t Document::key_number(std::string_view path) const noexcept {
    return index_.find(path);
}

void Document::mark(std::uint32_t key) {
    KeyLayout& layout = layout_[key];
    if (layout.dirty) return;
    layout.dirty = true;
    dirty_.push_back(key);
}

void Document::touch(std::uint32_t key) {
    if (key == PathIndex::kNone || dialect_ != Dialect::kWine) return;
    mark(key);
    layout_[key].touched = true;
}

std::uint32_t Document::ensure(std::string_view path) {
    std::uint32_t key = index_.find(path);
    if (key != PathIndex::kNone) return key;
    // The nearest parent the hive holds, then each missing key below it.
    std::vector<std::size_t> ends(1, path.size());
    std::uint32_t parent = PathIndex::kNone;
    std::size_t start = 0;  // of the first missing key's own name
    for (std::size_t slash = path.rfind('\\'); slash != std::string_view::npos;
         slash = path.rfind('\\', slash - 1)) {
        parent = index_.find(path.substr(0, slash));
        if (parent != PathIndex::kNone) {
            start = slash + 1;
            break;
        }
        ends.push_back(slash);
    }
    // The parent is modified; a new key takes its parent's stored case.
    touch(parent);
    for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
        std::string stored =
            parent == PathIndex::kNone ? std::string() : hive_.keys[parent].path + '\\';
        stored.append(path.substr(start, *end - start));
        key = index_.add(stored);
        hive_.keys.push_back(StoredKey{std::move(stored), {}});
        layout_.emplace_back();
        layout_.back().parent = parent;
        if (parent != PathIndex::kNone) ++layout_[parent].children;
        mark(key);
        parent = key;
        start = *end + 1;
    }
    return key;
}

bool Document::add_key(std::string_view path) {
    if (!holds(path)) return false;
    const std::size_t keys = hive_.keys.size();
    ensure(path);
    return hive_.keys.size() != keys;
}

bool Document::set_value(std::string_view path, std::string_view name, std::uint32_t type,
                         std::string_view data) {
    if (!holds(path, name)) return false;
    const std::size_t keys = hive_.keys.size();
    const std::uint32_t key = ensure(path);
    std::vector<Value>& values = hive_.keys[key].values;
    KeyLayout& layout = layout_[key];
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!iequals(values[i].name, name)) continue;
        if (values[i].type == type && values[i].data == data) return hive_.keys.size() != keys;
        values[i].type = type;
        values[i].data.assign(data);
        if (layout.values[i].state == ValueLayout::kClean)
            layout.values[i].state = ValueLayout::kChanged;
        mark(key);
        touch(key);
        return true;
    }
    // A new value: last in REGEDIT4, where its name sorts in Wine's files.
    std::size_t at = values.size();
    if (dialect_ == Dialect::kWine) {
        at = 0;
        while (at < values.size() && writer::wine_compare_names(values[at].name, name) < 0) ++at;
    }
    values.insert(values.begin() + static_cast<std::ptrdiff_t>(at),
                  Value{std::string(name), type, std::string(data)});
    layout.values.insert(layout.values.begin() + static_cast<std::ptrdiff_t>(at),
                         ValueLayout{0, 0, ValueLayout::kNew});
    mark(key);
    touch(key);
    return true;
}

bool Document::delete_value(std::string_view path, std::string_view name) {
    const std::uint32_t key = key_number(path);
    if (key == PathIndex::kNone) return false;
    std::vector<Value>& values = hive_.keys[key].values;
    KeyLayout& layout = layout_[key];
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!iequals(values[i].name, name)) continue;
        const ValueLayout lines = layout.values[i];
        if (lines.state != ValueLayout::kNew) {
            removals_.push_back(Patch{layout.begin + lines.begin,
                                      layout.begin + lines.end,
                                      {},
                                      next_order_++,
                                      PathIndex::kNone,
                                      0});
        }
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(i));
        layout.values.erase(layout.values.begin() + static_cast<std::ptrdiff_t>(i));
        mark(key);
        touch(key);
        return true;
    }
    return false;
}

bool Document::delete_key(std::string_view path) {
    const std::uint32_t key = key_number(path);
    if (key == PathIndex::kNone) return false;
    // The key and its subkeys: each key comes after its parent.
    std::vector<bool> gone(hive_.keys.size(), false);
    gone[key] = true;
    for (std::uint32_t other = key + 1; other < hive_.keys.size(); ++other) {
        const std::uint32_t parent = layout_[other].parent;
        gone[other] = parent != PathIndex::kNone && gone[parent];
    }
    for (std::uint32_t other = key; other < hive_.keys.size(); ++other) {
        if (!gone[other] || !layout_[other].has_section) continue;
        // Its lines and the blank lines before them. What was to be removed
        // within them already goes with them.
        const KeyLayout& layout = layout_[other];
        removals_.erase(std::remove_if(removals_.begin(), removals_.end(),
                                       [&](const Patch& patch) {
                                           return patch.begin >= layout.lead &&
                                                  patch.end <= layout.end;
                                       }),
                        removals_.end());
        removals_.push_back(Patch{layout.lead, layout.end, {}, next_order_++, PathIndex::kNone, 0});
    }
    // The parent stays: one without a line of its own that loses its last
    // subkey gets one now.
    const std::uint32_t parent = layout_[key].parent;
    if (parent != PathIndex::kNone) {
        --layout_[parent].children;
        mark(parent);
    }
    touch(parent);
    // The keys that stay, renumbered.
    std::vector<std::uint32_t> number(hive_.keys.size(), PathIndex::kNone);
    std::uint32_t kept = 0;
    for (std::uint32_t other = 0; other < hive_.keys.size(); ++other) {
        if (gone[other]) continue;
        number[other] = kept;
        if (kept != other) {
            hive_.keys[kept] = std::move(hive_.keys[other]);
            layout_[kept] = std::move(layout_[other]);
        }
        ++kept;
    }
    hive_.keys.resize(kept);
    layout_.resize(kept);
    for (KeyLayout& layout : layout_) {
        if (layout.parent != PathIndex::kNone) layout.parent = number[layout.parent];
    }
    std::vector<std::uint32_t> dirty;
    for (const std::uint32_t other : dirty_) {
        if (number[other] != PathIndex::kNone) dirty.push_back(number[other]);
    }
    dirty_ = std::move(dirty);
    rebuild_index();
    return true;
}

void Document::rebuild_index() {
    index_.clear();
    for (const StoredKey& stored : hive_.keys) index_.add(stored.path);
}

bool Document::needs_section(std::uint32_t key) const noexcept {
    const KeyLayout& layout = layout_[key];
    if (layout.has_section) return false;
    if (dialect_ == Dialect::kWine) {
        // As Wine saves: a key with values, or without subkeys.
        return !hive_.keys[key].values.empty() || layout.children == 0;
    }
    // Every key an edit added, parents included, and one that gains values.
    return true;
}

std::string Document::eol() const {
    const std::size_t end = text_.find('\n');
    return end != std::string::npos && end > 0 && text_[end - 1] == '\r' ? "\r\n" : "\n";
}

namespace {

// `text` with each LF made `eol`.
std::string with_eol(std::string text, const std::string& eol) {
    if (eol == "\n") return text;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n')
            out.append(eol);
        else
            out.push_back(c);
    }
    return out;
}

}  // namespace

void Document::add_value_patches(std::uint32_t key, std::uint64_t now,
                                 std::vector<Patch>* patches) {
    const KeyLayout& layout = layout_[key];
    const std::string line_end = eol();
    const std::size_t base = layout.begin;
    if (dialect_ == Dialect::kWine && layout.touched) {
        // The key line's seconds after its closing bracket, and "#time=".
        const std::string_view header(text_.data() + base, layout.header_end);
        std::size_t close = 1;
        while (close < header.size() && header[close] != ']')
            close += header[close] == '\\' ? 2 : 1;
        std::size_t stamp_end = header.size();
        while (stamp_end > close + 1 &&
               (header[stamp_end - 1] == '\n' || header[stamp_end - 1] == '\r')) {
            --stamp_end;
        }
        patches->push_back(Patch{base + close + 1, base + stamp_end, writer::wine_seconds(now),
                                 next_order_++, PathIndex::kNone, 0, true});
        std::string time = with_eol(writer::wine_time_line(now), line_end);
        if (layout.time_end != 0) {
            patches->push_back(Patch{base + layout.time_begin, base + layout.time_end,
                                     std::move(time), next_order_++, PathIndex::kNone, 0});
        } else {
            patches->push_back(Patch{base + layout.header_end, base + layout.header_end,
                                     std::move(time), next_order_++, PathIndex::kNone, 0});
        }
    }
    const std::vector<Value>& values = hive_.keys[key].values;
    // A new value goes before the next value the text holds, else after the
    // key's last line.
    std::vector<std::size_t> place(values.size(), layout.end);
    std::size_t next = layout.end;
    for (std::size_t i = values.size(); i-- > 0;) {
        if (layout.values[i].state != ValueLayout::kNew) next = base + layout.values[i].begin;
        place[i] = next;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const ValueLayout& lines = layout.values[i];
        if (lines.state == ValueLayout::kClean) continue;
        std::string text;
        if (dialect_ == Dialect::kWine) {
            writer::wine_value(values[i], &text);
        } else {
            writer::regedit4_value(values[i], &text);
        }
        text = with_eol(std::move(text), line_end);
        if (lines.state == ValueLayout::kChanged) {
            patches->push_back(Patch{base + lines.begin, base + lines.end, std::move(text),
                                     next_order_++, PathIndex::kNone, 0});
        } else {
            patches->push_back(
                Patch{place[i], place[i], std::move(text), next_order_++, PathIndex::kNone, 0});
        }
    }
}

Document::Patch Document::new_section(std::uint32_t key, std::uint64_t now) const {
    const StoredKey& stored = hive_.keys[key];
    std::string text;
    std::size_t header = 0;
    if (dialect_ == Dialect::kWine) {
        text.push_back('\n');
        header = 1;
        writer::wine_key_lines(stored.path, now, &text);
        for (const Value& value : stored.values) writer::wine_value(value, &text);
    } else {
        writer::regedit4_key_line(stored.path, &text);
        for (const Value& value : stored.values) writer::regedit4_value(value, &text);
        text.push_back('\n');
    }
    const std::size_t at = dialect_ == Dialect::kWine ? wine_place(key) : text_.size();
    return Patch{at, at, with_eol(std::move(text), eol()), 0, key, header == 0 ? 0 : eol().size()};
}

std::size_t Document::wine_place(std::uint32_t key) const {
    // Before the first key of the text that sorts after it.
    const std::string_view path = hive_.keys[key].path;
    std::size_t place = text_.size();
    for (std::uint32_t other = 0; other < hive_.keys.size(); ++other) {
        const KeyLayout& layout = layout_[other];
        if (layout.has_section && layout.lead < place &&
            writer::wine_compare_paths(hive_.keys[other].path, path) > 0) {
            place = layout.lead;
        }
    }
    return place;
}

void Document::index_section(std::uint32_t key, std::size_t begin) {
    Builder builder(*this, key);
    if (!reader::read_section(text_, dialect_, begin, builder) ||
        layout_[key].values.size() != hive_.keys[key].values.size()) {
        throw std::logic_error("hive: a written section does not read back");
    }
    KeyLayout& layout = layout_[key];
    layout.lead = blank_lead(text_, begin);
}

std::uint64_t Document::filetime_now() {
    const auto since_1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    return static_cast<std::uint64_t>(since_1970 / 100) + 116444736000000000u;
}

void Document::commit() { commit(filetime_now()); }

void Document::commit(std::uint64_t now) {
    if (!changed()) return;
    std::vector<Patch> patches = std::move(removals_);
    removals_.clear();
    std::sort(dirty_.begin(), dirty_.end());
    std::vector<std::uint32_t> sections;  // keys that get a section of their own
    for (const std::uint32_t key : dirty_) {
        if (layout_[key].has_section) {
            add_value_patches(key, now, &patches);
        } else if (needs_section(key)) {
            sections.push_back(key);
        }
    }
    // New sections: REGEDIT4's in the order the keys were added, Wine's in
    // its order of keys.
    if (dialect_ == Dialect::kWine) {
        std::sort(sections.begin(), sections.end(), [&](std::uint32_t a, std::uint32_t b) {
            return writer::wine_compare_paths(hive_.keys[a].path, hive_.keys[b].path) < 0;
        });
    }
    for (const std::uint32_t key : sections) {
        patches.push_back(new_section(key, now));
        patches.back().order = next_order_++;
    }
    if (patches.empty()) {
        // Keys marked that keep their lines as they are.
        for (const std::uint32_t key : dirty_) layout_[key].dirty = layout_[key].touched = false;
        dirty_.clear();
        return;
    }
    std::sort(patches.begin(), patches.end(), [](const Patch& a, const Patch& b) {
        if (a.begin != b.begin) return a.begin < b.begin;
        if (a.end != b.end) return a.end < b.end;
        return a.order < b.order;
    });

    // The new text, and where each new or edited key's section starts in it.
    const std::string line_end = eol();
    std::size_t growth = 0;
    for (const Patch& patch : patches) growth += patch.text.size() + 2 * line_end.size();
    // The text before the first patch stays where it is when that is most
    // of it (the game's keys near the end of a large Wine hive): only the
    // rest is copied aside and written back. Otherwise the new text is built
    // in the buffer of the text before last: no new pages to fault in.
    const std::size_t head = patches.front().begin;
    const bool in_place = head >= text_.size() / 2;
    std::string rest = std::move(spare_);
    std::string out;
    std::size_t base = 0;  // where `source` starts in the old text
    if (in_place) {
        rest.assign(text_, head, std::string::npos);
        out = std::move(text_);
        out.resize(head);
        base = head;
    } else {
        out = std::move(rest);
        out.clear();
        rest = std::move(text_);
    }
    out.reserve(head + (in_place ? rest.size() : rest.size() - head) + growth);
    const std::string_view source = rest;
    std::vector<std::size_t> starts(layout_.size(), 0);
    std::size_t at = base;
    for (const Patch& patch : patches) {
        out.append(source.substr(at - base, patch.begin - at));
        if (patch.begin == patch.end && !patch.in_line && !patch.text.empty() && !out.empty()) {
            // Added lines start a line of their own; a REGEDIT4 section
            // after a blank line.
            // (A last line ending in a lone CR gets its LF: the CR was read
            // as part of its line end.)
            if (out.back() == '\r') {
                out.push_back('\n');
            } else if (out.back() != '\n') {
                out.append(line_end);
            }
            if (patch.key != PathIndex::kNone && dialect_ == Dialect::kRegedit4) {
                const std::size_t last = out.rfind('\n', out.size() - 2);
                const std::string_view line =
                    std::string_view(out).substr(last == std::string::npos ? 0 : last + 1);
                if (line.find_first_not_of(" \t\r\n") != std::string_view::npos) {
                    out.append(line_end);
                }
            }
        }
        if (patch.key != PathIndex::kNone) starts[patch.key] = out.size() + patch.header;
        out.append(patch.text);
        at = patch.end;
    }
    out.append(source.substr(at - base));

    // Where the untouched keys' lines went: moved by every patch before
    // them. Lines added at a key's own end are not its.
    std::vector<std::ptrdiff_t> moved_by(patches.size());
    std::ptrdiff_t total = 0;
    for (std::size_t i = 0; i < patches.size(); ++i) {
        total += static_cast<std::ptrdiff_t>(patches[i].text.size()) -
                 static_cast<std::ptrdiff_t>(patches[i].end - patches[i].begin);
        moved_by[i] = total;
    }
    const auto moved = [&](std::size_t position, bool is_end) {
        // Most keys lie before the first patch, or after the last.
        if (position < patches.front().begin) return position;
        if (position > patches.back().end) {
            return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) + total);
        }
        // The patches end in order: they do not overlap.
        std::size_t count = static_cast<std::size_t>(
            std::upper_bound(patches.begin(), patches.end(), position,
                             [](std::size_t p, const Patch& patch) { return p < patch.end; }) -
            patches.begin());
        while (is_end && count > 0 && patches[count - 1].begin == position) --count;
        const std::ptrdiff_t delta = count == 0 ? 0 : moved_by[count - 1];
        return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) + delta);
    };
    for (std::uint32_t key = 0; key < layout_.size(); ++key) {
        KeyLayout& layout = layout_[key];
        if (layout.dirty) {
            if (layout.has_section) starts[key] = moved(layout.begin, false);
            continue;
        }
        if (!layout.has_section) continue;
        layout.lead = moved(layout.lead, false);
        layout.begin = moved(layout.begin, false);
        layout.end = moved(layout.end, true);
    }
    spare_ = std::move(rest);
    text_ = std::move(out);
    for (const std::uint32_t key : dirty_) {
        KeyLayout& layout = layout_[key];
        if (layout.has_section || starts[key] != 0) index_section(key, starts[key]);
        layout.dirty = false;
        layout.touched = false;
    }
    dirty_.clear();
}

}  // namespace vantor::hive
