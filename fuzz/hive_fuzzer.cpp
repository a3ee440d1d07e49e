// The hive codec on arbitrary bytes: parsing never crashes or reads out of
// bounds, a failure names a line of the text, and whatever parses is written
// back to a text that parses to the same hive and is written the same again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "registry/hive/hive_format.h"

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
