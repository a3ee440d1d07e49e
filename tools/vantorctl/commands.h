// The tool's commands. Each returns the process's exit code: 0 on success,
// 1 when the library (or writing a file) fails, 2 for bad usage or input.
// Input is checked in full before the library is loaded or called.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "charset.h"
#include "fields.h"
#include "library.h"
#include "store.h"

namespace vantorctl {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitBadInput = 2 };

// Gives the loaded library's functions, loading it on first use; nullptr
// when it cannot be loaded or its store cannot be read (the reason is
// already printed).
using LoadApi = std::function<const Api*()>;

struct Streams {
    std::ostream& out;
    std::ostream& err;
    Charset charset;  // of the texts given as arguments and printed as text
};

// What `list` prints.
// kKeyNameList: the name shown for each key alone, one a line (--key-names
// --names), as the shell completions offer them.
enum class ListForm { kTable, kJson, kNames, kKeyNames, kKeyNameList };

// For a command's optional record argument: none, "game", "keys" or "all"
// (any case) sets *only; any other word is refused, with the record word it
// likely stands for, and false is returned.
bool record_argument(const std::string& word, const char* command, std::optional<Record>* only,
                     Streams io);
// Says that `word` is no record word (suggesting one) and returns kExitBadInput.
int bad_record_word(const std::string& word, const char* command, Streams io);

// `changed_only`: only the values off their defaults, and the user's own
// that differ from the machine's.
int run_show(const LoadApi& load, std::optional<Record> only, bool json, bool changed_only,
             Streams io);
int run_get(const LoadApi& load, const std::vector<std::string>& names, bool json, Streams io);
// The commands that write take the store their writes go to (`scope`,
// which store::write_to() has already steered the library to): with two
// stores they then tell on standard error where a value went to the user's
// own store over a different one of the machine's.
int run_set(const LoadApi& load, const std::vector<std::string>& arguments, store::Scope scope,
            Streams io);
int run_reset(const LoadApi& load, const std::vector<std::string>& what, store::Scope scope,
              Streams io);
// Removes the user's own values (records or value names, as reset takes
// them), so that the machine's show through; refused with kExitBadInput
// where there is only one store.
int run_unset(const LoadApi& load, const std::vector<std::string>& what, Streams io);
int run_list(std::optional<Record> only, ListForm form, Streams io);
int run_swap(const LoadApi& load, const std::string& first, const std::string& second,
             store::Scope scope, Streams io);
int run_create(const LoadApi& load, Streams io);
int run_export(const LoadApi& load, const std::vector<std::string>& arguments, Streams io);
// The records in the editor as a .reg text; what is changed there is
// stored once the text checks, nothing otherwise.
int run_edit(const LoadApi& load, store::Scope scope, Streams io);
int run_import(const LoadApi& load, const std::string& file, bool ignore_unknown,
               store::Scope scope, Streams io);

}  // namespace vantorctl
