// The hive codec on arbitrary bytes: parsing never crashes or reads out of
// bounds, a failure names a line of the text, and whatever parses is written
// back to a text that parses to the same hive and is written the same again.
// Reading one key agrees with the whole parse: the same verdict and report,
// and for a key of the hive (the last one, and one the hive lacks) the same
// key.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "hive/format.h"

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "hive_fuzzer: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace hive = vantor::hive;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    hive::ParseError error;
    const std::optional<hive::Hive> parsed = hive::parse(text, &error);
    const std::string_view wanted =
        parsed && !parsed->keys.empty() ? std::string_view(parsed->keys.back().path) : "Software";
    std::optional<hive::StoredKey> key;
    hive::ParseError key_error;
    if (hive::parse_key(text, wanted, &key, &key_error) != parsed.has_value()) {
        fault("reading one key and reading the hive disagree on the text");
    }
    if (!parsed && (key || key_error.line != error.line || key_error.message != error.message)) {
        fault("reading one key reports another fault than reading the hive");
    }
    if (parsed) {
        const hive::StoredKey* expected = parsed->find(wanted);
        if (key.has_value() != (expected != nullptr) || (key && !(*key == *expected))) {
            fault("reading one key gives another key than reading the hive");
        }
        if (!hive::parse_key(text, "No\\Such\\Key", &key) || key) {
            fault("reading a missing key finds one");
        }
    }
    if (!parsed) {
        std::size_t lines = 1;
        for (const char c : text) lines += c == '\n';
        if (error.line < 1 || error.line > lines || error.message.empty()) {
            fault("a failed parse names no line of the text");
        }
        return 0;
    }
    const std::string written = hive::serialize(*parsed);
    const std::optional<hive::Hive> again = hive::parse(written);
    if (!again) fault("a written hive does not parse");
    if (!(*again == *parsed)) fault("a written hive parses to another hive");
    if (hive::serialize(*again) != written) fault("a hive is not written the same twice");
    return 0;
}
