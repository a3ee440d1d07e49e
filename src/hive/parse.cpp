// Reading a whole hive, or one key of it, into the model (model.h).
#include <cstddef>

#include "hive/format.h"
#include "hive/reader.h"

namespace vantor::hive {
namespace {

// Room made at first for the keys of a hive, and for the values of a key.
constexpr std::size_t kKeysReserved = 8;
constexpr std::size_t kValuesReserved = 16;

// Builds the whole hive.
class HiveSink final : public reader::Sink {
  public:
    HiveSink() { hive_.keys.reserve(kKeysReserved); }

    void add_key(std::string_view path) override {
        hive_.keys.push_back(StoredKey{std::string(path), {}});
    }
    bool enter(std::size_t key, const reader::Section&) override {
        current_ = &hive_.keys[key];
        return true;
    }
    void value(const reader::ValueLine& line) override {
        if (current_->values.empty()) current_->values.reserve(kValuesReserved);
        current_->values.push_back(
            Value{std::string(line.name), line.type, std::string(line.data)});
    }

    Hive& hive() { return hive_; }

  private:
    Hive hive_;
    StoredKey* current_ = nullptr;
};

// Builds the one key at a path, in any case; the others are only checked.
class KeySink final : public reader::Sink {
  public:
    KeySink(std::string_view wanted, std::optional<StoredKey>* key) : wanted_(wanted), key_(key) {}

    void add_key(std::string_view path) override {
        // Key paths are unique in any case, so at most one matches.
        if (iequals(path, wanted_)) {
            found_ = count_;
            key_->emplace(StoredKey{std::string(path), {}});
        }
        ++count_;
    }
    bool enter(std::size_t key, const reader::Section&) override { return key == found_; }
    void value(const reader::ValueLine& line) override {
        std::vector<Value>& values = (*key_)->values;
        if (values.empty()) values.reserve(kValuesReserved);
        values.push_back(Value{std::string(line.name), line.type, std::string(line.data)});
    }

  private:
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
    std::string_view wanted_;
    std::optional<StoredKey>* key_;
    std::size_t count_ = 0;
    std::size_t found_ = kNotFound;
};

}  // namespace

std::optional<Hive> parse(std::string_view text) { return parse(text, nullptr); }

std::optional<Hive> parse(std::string_view text, ParseError* error) {
    HiveSink sink;
    PathIndex index;
    if (!reader::read(text, Dialect::kRegedit4, sink, &index, error)) return std::nullopt;
    return std::move(sink.hive());
}

bool read_one_key(std::string_view text, std::string_view path, std::optional<StoredKey>* key,
                  ParseError* error) {
    key->reset();
    KeySink sink(path, key);
    PathIndex index;
    if (reader::read(text, std::nullopt, sink, &index, error)) return true;
    key->reset();
    return false;
}

}  // namespace vantor::hive
