// The eight exports over the hive, each next to its floor: the least work
// any file-backed registry must do for the same call.
//
//   - A reader's floor is reading the hive file once, whole: open, read,
//     close. The readers run on a hive left unchanged for a few seconds,
//     which the library may keep and check with one stat().
//   - A writer's floor is one durable atomic replace of the hive file
//     (write a temporary file, flush it, rename it over, flush the folder)
//     for each key it stores: each call's changes to a key must survive a
//     crash together.
//
// Every benchmark runs on a hive holding the library's two keys and, for the
// growth rows, 10, 1,000 or 10,000 other values under other keys. The
// writers alternate between two records that differ in every value, so that
// each call really stores what it is asked to (a value stored again
// unchanged leaves the file alone). Google Benchmark's own lines go to
// standard error; standard output gets one table: each export's time, its
// floor, their ratio and whether the target is met, next to the same call of
// vantor.dll under Wine when --wine=FILE names the Windows benchmark's
// results.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "records.h"
#include "report.h"
#include "vantor.h"

namespace {

namespace fs = std::filesystem;
using vantor::bench::duration;
using vantor::bench::median;

// Sizes of the growth rows: values under other keys besides the two records.
constexpr std::int64_t kOtherValues[] = {0, 10, 1000, 10000};
constexpr int kValuesPerOtherKey = 10;

// ---------------------------------------------------------------------------
// The scratch folder and hive

struct Scratch {
    std::string folder;
    std::string hive;
    std::string floor_target;  // what the replace floor renames over
    std::string floor_temp;
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "vantor_bench: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

std::string slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// One durable atomic replace of `target` by `text`: the writer's floor.
void durable_replace(const std::string& target, const std::string& text) {
    const Scratch& s = scratch();
    const int fd = ::open(s.floor_temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) die("open " + s.floor_temp);
    if (!write_all(fd, text) || ::fsync(fd) != 0) die("write " + s.floor_temp);
    if (::close(fd) != 0) die("close " + s.floor_temp);
    if (::rename(s.floor_temp.c_str(), target.c_str()) != 0) die("rename " + target);
    const int folder = ::open(s.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::fsync(folder) != 0) die("fsync " + s.folder);
    ::close(folder);
}

// Reads the file whole: the reader's floor. A regular file reads short only
// at its end, so a small hive takes one read. Returns the bytes read.
std::size_t read_whole(const std::string& path, std::vector<char>& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) die("open " + path);
    std::size_t size = 0;
    for (;;) {
        if (buffer.size() - size < 65536) buffer.resize(buffer.size() + 65536);
        const ssize_t got = ::read(fd, buffer.data() + size, buffer.size() - size);
        if (got < 0) {
            if (errno == EINTR) continue;
            die("read " + path);
        }
        size += static_cast<std::size_t>(got);
        if (size < buffer.size()) break;
    }
    ::close(fd);
    return size;
}

// The hive's text before the library adds its two keys: `count` other
// values, ten to a key, half texts and half numbers.
std::string other_values(std::int64_t count) {
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n";
    char line[160];
    for (std::int64_t i = 0; i < count; ++i) {
        if (i % kValuesPerOtherKey == 0) {
            std::snprintf(line, sizeof line, "[HKEY_LOCAL_MACHINE\\Software\\Vendor%03lld]\n\n",
                          static_cast<long long>(i / 1000));
            if (i % 1000 == 0) text += line;
            std::snprintf(
                line, sizeof line, "[HKEY_LOCAL_MACHINE\\Software\\Vendor%03lld\\Product%04lld]\n",
                static_cast<long long>(i / 1000), static_cast<long long>(i / kValuesPerOtherKey));
            text += line;
        }
        if (i % 2 == 0) {
            std::snprintf(line, sizeof line,
                          "\"Setting %lld\"=\"C:\\\\Program Files\\\\App %lld\"\n",
                          static_cast<long long>(i), static_cast<long long>(i));
        } else {
            std::snprintf(line, sizeof line, "\"Counter %lld\"=dword:%08llx\n",
                          static_cast<long long>(i), static_cast<long long>(i));
        }
        text += line;
        if (i % kValuesPerOtherKey == kValuesPerOtherKey - 1 || i == count - 1) text += "\n";
    }
    return text;
}

// The hive currently laid out, and texts of it to restore between calls.
struct Layout {
    std::int64_t others = -1;
    std::string stored;  // both keys holding records 1, not the defaults
};

Layout& layout() {
    static Layout l;
    return l;
}

// Lays out the hive with `others` other values, unless it already is.
void use_hive(std::int64_t others) {
    Layout& l = layout();
    if (l.others == others) return;
    const Scratch& s = scratch();
    std::error_code ignored;
    fs::remove(s.hive, ignored);
    durable_replace(s.hive, other_values(others));
    const GameConfigSettings game = game_record(1);
    const KeyConfigSettings keys = key_record(1);
    if (SetGameConfigSettings(&game, VANTOR_MASK_ALL) != 0 ||
        SetKeyConfigSettings(&keys, VANTOR_MASK_ALL) != 0) {
        die("seeding the hive");
    }
    l.others = others;
    l.stored = slurp(s.hive);
    durable_replace(s.floor_target, l.stored);
}

void set_up_scratch() {
    const char* tmp = ::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vantor-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) die("mkdtemp " + pattern);
    Scratch& s = scratch();
    s.folder = pattern;
    s.hive = s.folder + "/system.reg";
    s.floor_target = s.folder + "/floor.reg";
    s.floor_temp = s.folder + "/floor.tmp";
    ::setenv("VANTOR_REGISTRY", s.hive.c_str(), 1);
}

void remove_scratch() {
    std::error_code ignored;
    fs::remove_all(scratch().folder, ignored);
}

// ---------------------------------------------------------------------------
// Measuring a call next to its floor
//
// Each iteration times the call and, right after or right before it (in
// turn), the floor, so that both see the same state of the disk: the time a
// flush takes here varies from second to second. Only the call's time
// counts as the benchmark's; the floor's is the counter "floor".

using Clock = std::chrono::steady_clock;

double nanoseconds(Clock::duration d) {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
}

template <typename Before, typename Call, typename Floor>
void measure(benchmark::State& state, const Before& before, const Call& call, Floor floor) {
    double floor_ns = 0;
    bool floor_first = false;
    for (auto _ : state) {
        before();
        if (floor_first) {
            const Clock::time_point start = Clock::now();
            floor();
            floor_ns += nanoseconds(Clock::now() - start);
        }
        const Clock::time_point start = Clock::now();
        if (!call()) {
            state.SkipWithError("the call failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!floor_first) {
            const Clock::time_point floor_start = Clock::now();
            floor();
            floor_ns += nanoseconds(Clock::now() - floor_start);
        }
        floor_first = !floor_first;
    }
    state.counters["floor"] =
        benchmark::Counter(floor_ns * 1e-9, benchmark::Counter::kAvgIterations);
}

// Reading the hive file once.
auto read_floor() {
    return [buffer = std::vector<char>()]() mutable {
        benchmark::DoNotOptimize(read_whole(scratch().hive, buffer));
    };
}

// `count` durable replaces of a file as large as the hive.
auto replace_floor(int count) {
    return [count] {
        for (int i = 0; i < count; ++i) durable_replace(scratch().floor_target, layout().stored);
    };
}

void nothing() {}

// Waits until the hive has been left unchanged for a few seconds, as a
// reader finds it between the game's rare writes.
void settle() {
    constexpr int kSettledSeconds = 4;
    struct stat info {};
    if (::stat(scratch().hive.c_str(), &info) != 0) die("stat " + scratch().hive);
    const auto changed = std::chrono::system_clock::time_point(
        std::chrono::seconds(std::max(info.st_mtim.tv_sec, info.st_ctim.tv_sec) + 1));
    std::this_thread::sleep_until(changed + std::chrono::seconds(kSettledSeconds));
}

// ---------------------------------------------------------------------------
// Readers

void get_game(benchmark::State& state) {
    use_hive(state.range(0));
    settle();
    GameConfigSettings game{};
    measure(
        state, nothing, [&] { return GetGameConfigSettings(&game) == 1; }, read_floor());
}

void get_keys(benchmark::State& state) {
    use_hive(state.range(0));
    settle();
    KeyConfigSettings keys{};
    measure(
        state, nothing, [&] { return GetKeyConfigSettings(&keys) == 1; }, read_floor());
}

// ---------------------------------------------------------------------------
// Writers: each call stores values that differ from those in the hive.

void set_game(benchmark::State& state, std::uint32_t mask) {
    use_hive(state.range(0));
    const GameConfigSettings records[] = {game_record(0), game_record(1)};
    int which = 0;
    measure(
        state, nothing,
        [&] {
            which ^= 1;
            return SetGameConfigSettings(&records[which ^ 1], mask) == 0;
        },
        replace_floor(1));
    // Leave the records as laid out: the next benchmark may reuse the hive.
    SetGameConfigSettings(&records[1], VANTOR_MASK_ALL);
}

void set_keys(benchmark::State& state, std::uint32_t mask) {
    use_hive(state.range(0));
    const KeyConfigSettings records[] = {key_record(0), key_record(1)};
    int which = 0;
    measure(
        state, nothing,
        [&] {
            which ^= 1;
            return SetKeyConfigSettings(&records[which ^ 1], mask) == 0;
        },
        replace_floor(1));
    SetKeyConfigSettings(&records[1], VANTOR_MASK_ALL);
}

// The defaults functions on a hive whose records are not the defaults (put
// back before each call, untimed): each call stores every value it covers.
void defaults(benchmark::State& state, std::int32_t (*call)(), std::int32_t success, int keys) {
    use_hive(state.range(0));
    const auto restore = [] { durable_replace(scratch().hive, layout().stored); };
    measure(
        state, restore, [&] { return call() == success; }, replace_floor(keys));
    restore();
}

// ---------------------------------------------------------------------------
// The table

// The median over repetitions of each benchmark's time per call and of its
// floor, in nanoseconds.
class Collector : public benchmark::ConsoleReporter {
  public:
    struct Result {
        double call;
        double floor;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const auto floor = run.counters.find("floor");
            if (floor == run.counters.end()) continue;
            Samples& samples = samples_[run.run_name.function_name + "/" + run.run_name.args];
            samples.call.push_back(run.real_accumulated_time * 1e9 /
                                   static_cast<double>(run.iterations));
            samples.floor.push_back(floor->second.value * 1e9);
        }
    }

    std::optional<Result> result(const std::string& name) const {
        const auto found = samples_.find(name);
        if (found == samples_.end()) return std::nullopt;
        return Result{median(found->second.call), median(found->second.floor)};
    }

  private:
    struct Samples {
        std::vector<double> call;
        std::vector<double> floor;
    };

    std::map<std::string, Samples> samples_;
};

// "name nanoseconds" lines written by the Windows benchmark.
std::map<std::string, double> read_wine_results(const std::string& path) {
    std::map<std::string, double> results;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t space = line.rfind(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
        results[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
    }
    return results;
}

enum class Floor { kRead, kReplace };

struct Row {
    const char* label;  // as printed
    const char* name;   // the benchmark's name, without its argument
    Floor floor;
    int floor_count;      // how many reads or replaces make up the floor
    double target;        // the highest ratio to the floor allowed, or 0 for none
    double target_large;  // the same with the most other values
};

constexpr std::int64_t kMostOthers = kOtherValues[std::size(kOtherValues) - 1];

constexpr Row kRows[] = {
    {"GetGameConfigSettings", "GetGameConfigSettings", Floor::kRead, 1, 1.0, 1.0},
    {"GetKeyConfigSettings", "GetKeyConfigSettings", Floor::kRead, 1, 1.0, 1.0},
    {"SetGameConfigSettings, all 12", "SetGameConfigSettings/all", Floor::kReplace, 1, 1.3, 2.0},
    {"SetGameConfigSettings, 1 bit", "SetGameConfigSettings/one", Floor::kReplace, 1, 0, 0},
    {"SetKeyConfigSettings, all 12", "SetKeyConfigSettings/all", Floor::kReplace, 1, 1.3, 2.0},
    {"SetKeyConfigSettings, 1 bit", "SetKeyConfigSettings/one", Floor::kReplace, 1, 0, 0},
    {"SetDefaultGameSettings", "SetDefaultGameSettings", Floor::kReplace, 1, 0, 0},
    {"SetDefaultKeySettings", "SetDefaultKeySettings", Floor::kReplace, 1, 0, 0},
    {"SetAllDefaults", "SetAllDefaults", Floor::kReplace, 2, 0, 0},
    {"CreateRegKeys", "CreateRegKeys", Floor::kReplace, 2, 0, 0},
};

std::string with_others(const std::string& name, std::int64_t others) {
    return name + "/others:" + std::to_string(others);
}

void print_table(const Collector& collected, const std::map<std::string, double>* wine) {
    std::printf(
        "\n| export | other values | native | floor | ratio to floor | target | Wine | "
        "native faster than Wine? |\n"
        "|---|---:|---:|---:|---:|---|---:|---|\n");
    for (const std::int64_t others : kOtherValues) {
        for (const Row& row : kRows) {
            const std::string name = with_others(row.name, others);
            const std::optional<Collector::Result> native = collected.result(name);
            if (!native && wine == nullptr) continue;
            std::string time = "-";
            std::string floor = "-";
            std::string ratio = "-";
            std::string target = "-";
            if (native) {
                time = duration(native->call);
                floor = row.floor_count == 1 ? duration(native->floor)
                                             : std::to_string(row.floor_count) + " x " +
                                                   duration(native->floor / row.floor_count);
                floor += row.floor == Floor::kRead ? " read" : " replace";
                const double r = native->call / native->floor;
                char text[48];
                std::snprintf(text, sizeof text, "%.2f", r);
                ratio = text;
                const double wanted = others == 0             ? row.target
                                      : others == kMostOthers ? row.target_large
                                                              : 0;
                if (wanted > 0) {
                    std::snprintf(text, sizeof text, "%s (at most %.1f)",
                                  r <= wanted ? "met" : "MISSED", wanted);
                    target = text;
                }
            }
            std::string in_wine = "not run";
            std::string faster = "-";
            if (wine != nullptr) {
                const auto found = wine->find(name);
                if (!native && found == wine->end()) continue;
                in_wine = found != wine->end() ? duration(found->second) : "-";
                if (native && found != wine->end()) {
                    faster = native->call < found->second ? "yes" : "NO";
                    if (row.floor == Floor::kRead && others == 0) faster += " (target)";
                }
            }
            std::printf("| %s | %lld | %s | %s | %s | %s | %s | %s |\n", row.label,
                        static_cast<long long>(others), time.c_str(), floor.c_str(), ratio.c_str(),
                        target.c_str(), in_wine.c_str(), faster.c_str());
        }
    }
}

void register_all() {
    for (const Row& row : kRows) {
        const std::string name = row.name;
        benchmark::internal::Benchmark* b = nullptr;
        if (name == "GetGameConfigSettings") {
            b = benchmark::RegisterBenchmark(row.name, get_game);
        } else if (name == "GetKeyConfigSettings") {
            b = benchmark::RegisterBenchmark(row.name, get_keys);
        } else if (name == "SetGameConfigSettings/all") {
            b = benchmark::RegisterBenchmark(row.name, set_game, VANTOR_MASK_ALL);
        } else if (name == "SetGameConfigSettings/one") {
            b = benchmark::RegisterBenchmark(row.name, set_game, VANTOR_GAME_MIDI_VOLUME);
        } else if (name == "SetKeyConfigSettings/all") {
            b = benchmark::RegisterBenchmark(row.name, set_keys, VANTOR_MASK_ALL);
        } else if (name == "SetKeyConfigSettings/one") {
            b = benchmark::RegisterBenchmark(row.name, set_keys, VANTOR_KEY_FIRE);
        } else if (name == "SetDefaultGameSettings") {
            b = benchmark::RegisterBenchmark(row.name, defaults, &SetDefaultGameSettings, 0, 1);
        } else if (name == "SetDefaultKeySettings") {
            b = benchmark::RegisterBenchmark(row.name, defaults, &SetDefaultKeySettings, 0, 1);
        } else if (name == "SetAllDefaults") {
            b = benchmark::RegisterBenchmark(row.name, defaults, &SetAllDefaults, 0, 2);
        } else {
            b = benchmark::RegisterBenchmark(row.name, defaults, &CreateRegKeys, 1, 2);
        }
        b->ArgName("others")->UseManualTime()->Unit(benchmark::kMicrosecond);
        for (const std::int64_t others : kOtherValues) b->Arg(others);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Our own flag first: Google Benchmark refuses flags it does not know.
    std::string wine_results;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--wine=", 0) == 0) {
            wine_results = arg.substr(7);
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    set_up_scratch();
    register_all();
    // Google Benchmark's own lines go to standard error, as progress; the
    // table alone goes to standard output.
    Collector collector;
    collector.SetOutputStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    remove_scratch();

    if (wine_results.empty()) {
        print_table(collector, nullptr);
    } else {
        const std::map<std::string, double> wine = read_wine_results(wine_results);
        print_table(collector, &wine);
    }
    return 0;
}
