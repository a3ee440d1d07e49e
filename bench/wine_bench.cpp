// The same calls as the native benchmark, made of vantor.dll over the
// registry of the system it runs on (Wine's, when bench/run starts it),
// timed with QueryPerformanceCounter. Prints one "name nanoseconds" line
// per benchmark, under the native benchmark's names, for its table.
//
// The hive sizes match the native rows: the library's two keys alone, then
// with 10, 1,000 and 10,000 other values under other keys of
// HKEY_LOCAL_MACHINE\Software. The writers alternate between two records
// that differ in every value, and the defaults functions are timed on keys
// put back to other values first (untimed), so every call stores what it is
// asked to. Each benchmark is run three times for at least kMinSeconds and
// the median of the three means is printed. The keys made here are removed
// at the end.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "records.h"
#include "vantor.h"

namespace {

constexpr long kOtherValues[] = {0, 10, 1000, 10000};
constexpr long kValuesPerOtherKey = 10;
constexpr double kMinSeconds = 0.2;
constexpr long kMinIterations = 5;
constexpr int kRepetitions = 3;
constexpr const char* kOthersRoot = "Software\\VantorBenchOthers";

double now_ns() {
    static const double ns_per_tick = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return 1e9 / static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    return static_cast<double>(ticks.QuadPart) * ns_per_tick;
}

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "vantor_wine_bench: %s\n", what.c_str());
    std::exit(1);
}

// Removes HKEY_LOCAL_MACHINE\<path> and everything below it.
void remove_tree(const char* path) {
    const LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
        return;
    }
    die("cannot remove " + std::string(path));
}

// `count` values under other keys, ten to a key, half texts and half numbers.
void make_other_values(long count) {
    remove_tree(kOthersRoot);
    HKEY key = nullptr;
    for (long i = 0; i < count; ++i) {
        if (i % kValuesPerOtherKey == 0) {
            if (key != nullptr) RegCloseKey(key);
            char path[128];
            std::snprintf(path, sizeof path, "%s\\Vendor%03ld\\Product%04ld", kOthersRoot, i / 1000,
                          i / kValuesPerOtherKey);
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr) != ERROR_SUCCESS) {
                die("cannot create " + std::string(path));
            }
        }
        char name[32];
        LSTATUS status;
        if (i % 2 == 0) {
            char text[64];
            std::snprintf(name, sizeof name, "Setting %ld", i);
            const int length = std::snprintf(text, sizeof text, "C:\\Program Files\\App %ld", i);
            status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    static_cast<DWORD>(length));
        } else {
            const DWORD number = static_cast<DWORD>(i);
            std::snprintf(name, sizeof name, "Counter %ld", i);
            status = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                    sizeof number);
        }
        if (status != ERROR_SUCCESS) die("cannot store " + std::string(name));
    }
    if (key != nullptr) RegCloseKey(key);
}

// Both records at their "1" versions, which are not the defaults.
void store_records() {
    const GameConfigSettings game = game_record(1);
    const KeyConfigSettings keys = key_record(1);
    if (SetGameConfigSettings(&game, VANTOR_MASK_ALL) != 0 ||
        SetKeyConfigSettings(&keys, VANTOR_MASK_ALL) != 0) {
        die("cannot store the records");
    }
}

// Mean time of one call in nanoseconds, median of kRepetitions runs. Only
// `call` is timed; `before` runs ahead of each call.
double measure(const std::function<void()>& before, const std::function<bool()>& call) {
    std::vector<double> means;
    for (int repetition = 0; repetition < kRepetitions; ++repetition) {
        double timed = 0;
        long iterations = 0;
        while (timed < kMinSeconds * 1e9 || iterations < kMinIterations) {
            before();
            const double start = now_ns();
            if (!call()) die("a call failed");
            timed += now_ns() - start;
            ++iterations;
        }
        means.push_back(timed / static_cast<double>(iterations));
    }
    std::sort(means.begin(), means.end());
    return means[means.size() / 2];
}

void report(const char* name, long others, double ns) {
    std::printf("%s/others:%ld %.1f\n", name, others, ns);
    std::fflush(stdout);
}

void run(long others) {
    make_other_values(others);
    store_records();
    const auto nothing = [] {};

    GameConfigSettings game{};
    KeyConfigSettings keys{};
    report("GetGameConfigSettings", others,
           measure(nothing, [&] { return GetGameConfigSettings(&game) == 1; }));
    report("GetKeyConfigSettings", others,
           measure(nothing, [&] { return GetKeyConfigSettings(&keys) == 1; }));

    const GameConfigSettings games[] = {game_record(0), game_record(1)};
    const KeyConfigSettings bindings[] = {key_record(0), key_record(1)};
    int which = 0;
    const auto set_game = [&](std::uint32_t mask) {
        return [&, mask] {
            which ^= 1;
            return SetGameConfigSettings(&games[which ^ 1], mask) == 0;
        };
    };
    const auto set_keys = [&](std::uint32_t mask) {
        return [&, mask] {
            which ^= 1;
            return SetKeyConfigSettings(&bindings[which ^ 1], mask) == 0;
        };
    };
    report("SetGameConfigSettings/all", others, measure(nothing, set_game(VANTOR_MASK_ALL)));
    report("SetGameConfigSettings/one", others,
           measure(nothing, set_game(VANTOR_GAME_MIDI_VOLUME)));
    report("SetKeyConfigSettings/all", others, measure(nothing, set_keys(VANTOR_MASK_ALL)));
    report("SetKeyConfigSettings/one", others, measure(nothing, set_keys(VANTOR_KEY_FIRE)));

    if (others == 0) {
        report("SetDefaultGameSettings", others,
               measure(store_records, [] { return SetDefaultGameSettings() == 0; }));
        report("SetDefaultKeySettings", others,
               measure(store_records, [] { return SetDefaultKeySettings() == 0; }));
        report("SetAllDefaults", others,
               measure(store_records, [] { return SetAllDefaults() == 0; }));
        report("CreateRegKeys", others,
               measure(store_records, [] { return CreateRegKeys() == 1; }));
    }
}

}  // namespace

int main() {
    for (const long others : kOtherValues) run(others);
    remove_tree(kOthersRoot);
    remove_tree("Software\\QUORIX");
    return 0;
}
