// The hive codec on arbitrary bytes, in both dialects: reading never crashes
// or reads out of bounds, a failure names a line of the text, and whatever
// reads is written back to a text that reads the same.
//
// REGEDIT4 through parse(): what parses is written by serialize() to a text
// that parses to the same hive and is written the same again. Reading one
// key agrees with the whole parse: the same verdict and report, and for a
// key of the hive (the last one, and one the hive lacks) the same key.
//
// Either dialect through Document: it accepts what parse() accepts (of
// REGEDIT4) with the same hive, read_one_key() agrees with it, a text read
// and committed unchanged is the same bytes, and after edits chosen by the
// text (values set, changed and deleted, a key added, a key deleted) the
// committed text reads back to the Document's own hive.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "hive/document.h"
#include "hive/format.h"

namespace {

namespace hive = vantor::hive;

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "hive_fuzzer: %s\n", what);
    std::abort();
}

std::size_t lines_in(std::string_view text) {
    std::size_t lines = 1;
    for (const char c : text) lines += c == '\n';
    return lines;
}

void check_parse(std::string_view text) {
    hive::ParseError error;
    const std::optional<hive::Hive> parsed = hive::parse(text, &error);
    hive::ParseError document_error;
    const std::optional<hive::Document> document =
        hive::Document::parse(std::string(text), &document_error);
    const std::vector<hive::StoredKey>* keys = document ? &document->hive().keys : nullptr;
    const std::string_view wanted =
        keys != nullptr && !keys->empty() ? std::string_view(keys->back().path) : "Software";
    std::optional<hive::StoredKey> key;
    hive::ParseError key_error;
    if (hive::read_one_key(text, wanted, &key, &key_error) != document.has_value()) {
        fault("reading one key and reading the hive disagree on the text");
    }
    if (!document && (key || key_error.line != document_error.line ||
                      key_error.message != document_error.message)) {
        fault("reading one key reports another fault than reading the hive");
    }
    if (document) {
        const hive::StoredKey* expected = document->find(wanted);
        if (key.has_value() != (expected != nullptr) || (key && !(*key == *expected))) {
            fault("reading one key gives another key than reading the hive");
        }
        if (!hive::read_one_key(text, "No\\Such\\Key", &key) || key) {
            fault("reading a missing key finds one");
        }
    }
    if (!parsed) {
        if (error.line < 1 || error.line > lines_in(text) || error.message.empty()) {
            fault("a failed parse names no line of the text");
        }
        return;
    }
    const std::string written = hive::serialize(*parsed);
    const std::optional<hive::Hive> again = hive::parse(written);
    if (!again) fault("a written hive does not parse");
    if (!(*again == *parsed)) fault("a written hive parses to another hive");
    if (hive::serialize(*again) != written) fault("a hive is not written the same twice");
}

// Whether two hives hold the same keys and values, whatever their order.
// (The case of a key without a line of its own is that of the first line
// below it, which may change when a key is deleted.)
bool same_keys(const hive::Hive& a, const hive::Hive& b) {
    if (a.keys.size() != b.keys.size()) return false;
    for (const hive::StoredKey& key : a.keys) {
        const hive::StoredKey* other = b.find(key.path);
        if (other == nullptr || !(other->values == key.values)) return false;
    }
    return true;
}

void check_document(std::string_view text) {
    constexpr std::uint64_t kTime = 0x1dd8800a0000000;
    hive::ParseError error;
    std::optional<hive::Document> document = hive::Document::parse(std::string(text), &error);
    const std::string wanted = document && !document->hive().keys.empty()
                                   ? document->hive().keys.back().path
                                   : std::string("Software");
    std::optional<hive::StoredKey> key;
    hive::ParseError key_error;
    if (hive::read_one_key(text, wanted, &key, &key_error) != document.has_value()) {
        fault("read_one_key and Document disagree on the text");
    }
    if (!document) {
        if (key || key_error.line != error.line || key_error.message != error.message) {
            fault("read_one_key reports another fault than Document");
        }
        if (error.line < 1 || error.line > lines_in(text) || error.message.empty()) {
            fault("a Document refused names no line of the text");
        }
        return;
    }
    const hive::StoredKey* expected = document->find(wanted);
    if (key.has_value() != (expected != nullptr) || (key && !(*key == *expected))) {
        fault("read_one_key gives another key than Document");
    }
    if (document->dialect() == hive::Dialect::kRegedit4) {
        const std::optional<hive::Hive> parsed = hive::parse(text);
        if (!parsed || !(*parsed == document->hive())) fault("Document reads another hive");
    }
    document->commit(kTime);
    if (document->text() != text) fault("a text read and written back is not the same bytes");

    // Edits the text chooses.
    const hive::Hive& model = document->hive();
    const std::size_t keys = model.keys.size();
    const std::string data(text.substr(0, text.size() % 61));
    if (keys > 0) {
        const std::string last = model.keys.back().path;
        const std::string first = model.keys.front().path;
        const std::string first_value =
            model.keys.front().values.empty() ? "" : model.keys.front().values.front().name;
        const std::string middle = model.keys[keys / 2].path;
        const std::string middle_value =
            model.keys[keys / 2].values.empty() ? "" : model.keys[keys / 2].values.back().name;
        const std::string gone = model.keys[keys / 3].path;
        document->set_value(last, "Fuzz", static_cast<std::uint32_t>(text.size() % 8), data);
        document->set_value(first, first_value, 1, std::string("\0\0", 2));
        document->delete_value(middle, middle_value);
        if (hive::valid_key_path(first + "\\Fuzz")) document->add_key(first + "\\Fuzz");
        if (keys > 2) document->delete_key(gone);
    }
    document->add_key("Fuzzed\\Key");
    document->set_value("Fuzzed\\Key", "", 4, data.substr(0, 4));
    document->commit(kTime);
    const std::optional<hive::Document> again = hive::Document::parse(document->text(), &error);
    if (!again) fault("an edited text does not read back");
    if (!same_keys(again->hive(), document->hive())) fault("an edited text reads another hive");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_parse(text);
    check_document(text);
    return 0;
}
