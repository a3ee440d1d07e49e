// vantorctl's .reg import on arbitrary bytes: it never crashes or reads out
// of bounds, and a file it accepts in full, once applied to the records,
// exports to a file that imports to the same records.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fields.h"
#include "reg_file.h"
#include "support/defaults.h"
#include "values.h"

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "reg_import_fuzzer: %s\n", what);
    std::abort();
}

vantorctl::Records defaults() { return {vantor::test::game_defaults(), vantor::test::key_defaults()}; }

vantorctl::Records applied(const std::vector<vantorctl::Assignment>& assignments) {
    vantorctl::Records records = defaults();
    vantorctl::apply(assignments, vantorctl::Record::kGame, &records);
    vantorctl::apply(assignments, vantorctl::Record::kKeys, &records);
    return records;
}

bool same(const vantorctl::Records& a, const vantorctl::Records& b) {
    for (const vantorctl::Setting* field = vantorctl::fields_begin();
         field != vantorctl::fields_end(); ++field) {
        const bool equal =
            field->kind == vantorctl::Kind::kText
                ? vantorctl::get_text(a, *field) == vantorctl::get_text(b, *field)
                : vantorctl::get_number(a, *field) == vantorctl::get_number(b, *field);
        if (!equal) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vantorctl::import_reg(bytes, false);
    const vantorctl::Import import = vantorctl::import_reg(bytes, true);
    if (!import.problems.empty()) return 0;
    const vantorctl::Records records = applied(import.assignments);
    const vantorctl::Import again = vantorctl::import_reg(vantorctl::export_reg(records), false);
    if (!again.problems.empty()) fault("an exported file does not import");
    if (!same(applied(again.assignments), records)) fault("an exported file imports other values");
    return 0;
}
