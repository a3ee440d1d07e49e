#include <cstring>

#include "registry/layout.h"

namespace vantor::reg {
namespace {

// Reads a text value into a 256-byte field. The read goes into a scratch
// buffer first: a failed read (missing value, data over the limit) leaves the
// field exactly as it was. The text is cut at its first NUL and at 255
// characters, so the field always ends up NUL-terminated.
void read_text(Key* key, const char* name, char* field) noexcept {
    char buffer[kTextLimit];
    std::uint32_t size = sizeof buffer;
    if (query_value(key, name, buffer, &size) != kSuccess) return;
    const std::size_t kept = size < kTextLimit - 1 ? size : kTextLimit - 1;
    const void* nul = std::memchr(buffer, '\0', kept);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : kept;
    std::memcpy(field, buffer, length);
    field[length] = '\0';
}

// Reads a number value into a 4-byte field. Data of any type up to 4 bytes
// long are copied as raw bytes into the start of the field; a failed read
// leaves the field as it was.
void read_number(Key* key, const char* name, unsigned char* field) noexcept {
    unsigned char buffer[kNumberSize];
    std::uint32_t size = sizeof buffer;
    if (query_value(key, name, buffer, &size) != kSuccess) return;
    std::memcpy(field, buffer, size <= kNumberSize ? size : kNumberSize);
}

// Stores a text field without its NUL. A field that holds no NUL within its
// 256 bytes is stored as its first 255 characters, never read past its end.
Status write_text(Key* key, const char* name, const char* field) noexcept {
    std::size_t length = 0;
    while (length < kTextLimit - 1 && field[length] != '\0') ++length;
    return set_value(key, name, kTypeSz, field, static_cast<std::uint32_t>(length));
}

}  // namespace

bool read_values(const char* path, void* record, const Value* order, std::size_t count) noexcept {
    Key* key = nullptr;
    if (open_key(path, Access::kRead, &key) != kSuccess) return false;
    auto* bytes = static_cast<unsigned char*>(record);
    for (std::size_t i = 0; i < count; ++i) {
        const Value& value = order[i];
        unsigned char* field = bytes + value.offset;
        if (value.encoding == Encoding::kText) {
            read_text(key, value.name, reinterpret_cast<char*>(field));
        } else {
            read_number(key, value.name, field);
        }
    }
    close_key(key);
    return true;
}

Status write_values(const char* path, const void* record, std::uint32_t mask, const Value* order,
                    std::size_t count) noexcept {
    Key* key = nullptr;
    const Status created = create_key(path, &key);
    if (created != kSuccess) return created;
    const auto* bytes = static_cast<const unsigned char*>(record);
    Status result = kSuccess;
    for (std::size_t i = 0; i < count; ++i) {
        const Value& value = order[i];
        if ((mask & value.bit) == 0) continue;
        const unsigned char* field = bytes + value.offset;
        const Status status =
            value.encoding == Encoding::kText
                ? write_text(key, value.name, reinterpret_cast<const char*>(field))
                : set_value(key, value.name, kTypeDword, field, kNumberSize);
        // Report the first failure: a later good write must not hide it.
        if (result == kSuccess) result = status;
    }
    // The store may commit the writes only now; its failure counts too.
    const Status closed = close_key(key);
    return result != kSuccess ? result : closed;
}

}  // namespace vantor::reg
