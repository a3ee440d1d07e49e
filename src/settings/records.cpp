#include "settings/records.h"

#include <cstddef>
#include <cstring>

namespace vantor::settings {
namespace {

constexpr Order kReadOrders[] = {read_order(Record::kGame), read_order(Record::kKeys)};
constexpr Order kWriteOrders[] = {write_order(Record::kGame), write_order(Record::kKeys)};

const Order& read_order_of(Record record) { return kReadOrders[static_cast<int>(record)]; }
const Order& write_order_of(Record record) { return kWriteOrders[static_cast<int>(record)]; }

constexpr std::uint32_t kNumberSize = sizeof(std::uint32_t);

// Puts the defaults into `fields`: those of every value, or with `host_too`
// false only those of the values a reader fills (the host's own numbers are
// left as they are). A default text is copied with its NUL; the rest of the
// field is left as it was.
void put_defaults(Record record, unsigned char* fields, bool host_too) noexcept {
    for (const Setting* setting : read_order_of(record)) {
        if (!host_too && setting->fallback == Fallback::kHost) continue;
        unsigned char* field = fields + setting->offset;
        if (setting->kind == Kind::kText) {
            std::memcpy(field, setting->default_text, std::strlen(setting->default_text) + 1);
        } else {
            std::memcpy(field, &setting->default_number, kNumberSize);
        }
    }
}

// Reads a text value into a 256-byte field. The read goes into a scratch
// buffer first: a failed read (missing value, data over the limit) leaves the
// field exactly as it was. The text is cut at its first NUL and at 255
// characters, so the field always ends up NUL-terminated.
void read_text(reg::Key* key, const char* name, unsigned char* field) noexcept {
    unsigned char buffer[VANTOR_TEXT_SIZE];
    std::uint32_t size = sizeof buffer;
    if (reg::query_value(key, name, buffer, &size) != reg::kSuccess) return;
    const std::size_t kept = size < VANTOR_TEXT_MAX ? size : VANTOR_TEXT_MAX;
    const void* nul = std::memchr(buffer, '\0', kept);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - buffer)
                       : kept;
    std::memcpy(field, buffer, length);
    field[length] = '\0';
}

// Reads a number value into a 4-byte field. Data of any type up to 4 bytes
// long are copied as raw bytes into the start of the field; a failed read
// leaves the field as it was.
void read_number(reg::Key* key, const char* name, unsigned char* field) noexcept {
    unsigned char buffer[kNumberSize];
    std::uint32_t size = sizeof buffer;
    if (reg::query_value(key, name, buffer, &size) != reg::kSuccess) return;
    std::memcpy(field, buffer, size <= kNumberSize ? size : kNumberSize);
}

// Stores a text field without its NUL. A field that holds no NUL within its
// 256 bytes is stored as its first 255 characters, never read past its end.
reg::Status write_text(reg::Key* key, const char* name, const unsigned char* field) noexcept {
    std::size_t length = 0;
    while (length < VANTOR_TEXT_MAX && field[length] != '\0') ++length;
    return reg::set_value(key, name, reg::kTypeSz, field, static_cast<std::uint32_t>(length));
}

// Opens the key for reading; when that fails returns its status and touches
// nothing. Otherwise reads each value into its field, closes the key and
// returns kSuccess.
reg::Status read_values(Record record, unsigned char* fields) noexcept {
    reg::Key* key = nullptr;
    const reg::Status opened = reg::open_key(key_path(record), reg::Access::kRead, &key);
    if (opened != reg::kSuccess) return opened;
    for (const Setting* setting : read_order_of(record)) {
        unsigned char* field = fields + setting->offset;
        if (setting->kind == Kind::kText) {
            read_text(key, setting->name, field);
        } else {
            read_number(key, setting->name, field);
        }
    }
    reg::close_key(key);
    return reg::kSuccess;
}

using Create = reg::Status (*)(const char* path, reg::Key** key) noexcept;

// write_record() with the key made by `create`.
reg::Status write_values(Create create, Record record, const void* fields,
                         std::uint32_t mask) noexcept {
    reg::Key* key = nullptr;
    const reg::Status created = create(key_path(record), &key);
    if (created != reg::kSuccess) return created;
    const auto* bytes = static_cast<const unsigned char*>(fields);
    reg::Status result = reg::kSuccess;
    for (const Setting* setting : write_order_of(record)) {
        if ((mask & setting->bit) == 0) continue;
        const unsigned char* field = bytes + setting->offset;
        const reg::Status status =
            setting->kind == Kind::kText
                ? write_text(key, setting->name, field)
                : reg::set_value(key, setting->name, reg::kTypeDword, field, kNumberSize);
        // Report the first failure: a later good write must not hide it.
        if (result == reg::kSuccess) result = status;
    }
    // The store may commit the writes only now; its failure counts too.
    const reg::Status closed = reg::close_key(key);
    return result != reg::kSuccess ? result : closed;
}

}  // namespace

std::int32_t read_record(Record record, void* fields) noexcept {
    auto* bytes = static_cast<unsigned char*>(fields);
    put_defaults(record, bytes, false);
    const reg::Status opened = read_values(record, bytes);
    if (opened == reg::kSuccess) return 1;
    // Only a missing key is seeded (first run), with what the record now
    // holds. A key that could not be read (a corrupt or unreadable store, a
    // hive caught half-way through being rewritten in place) may hold values
    // the seeding would write over.
    if (opened != reg::kFileNotFound) return 0;
    const reg::Status seeded = write_values(reg::create_new_key, record, fields, VANTOR_MASK_ALL);
    // Made meanwhile by someone else: what it holds is read instead.
    if (seeded == reg::kAlreadyExists && read_values(record, bytes) == reg::kSuccess) return 1;
    return 0;
}

reg::Status write_record(Record record, const void* fields, std::uint32_t mask) noexcept {
    return write_values(reg::create_key, record, fields, mask);
}

reg::Status write_defaults(Record record) noexcept {
    // Room for either record, zeroed.
    union {
        GameConfigSettings game;
        KeyConfigSettings keys;
    } defaults{};
    put_defaults(record, reinterpret_cast<unsigned char*>(&defaults), true);
    return write_record(record, &defaults, VANTOR_MASK_ALL);
}

}  // namespace vantor::settings
