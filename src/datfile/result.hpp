// What an operation below the front end that can fail gives back: its value,
// or the failure, which the front end alone turns into a message.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

namespace vantor {

enum class failure_kind {
    open,          // the file cannot be opened, or is no regular file
    alloc,         // the file is empty, or its table cannot be held in memory
    read,          // shorter than its header or its table, or a read failed
    data_offset,   // the data area does not begin where the table ends
    not_resolved,  // the path names no item inside the file
    write,         // the file changed since the load, or the write failed
};

struct failure {
    failure_kind kind;
    std::uint32_t table_end = 0;          // with data_offset: where the table ends
    std::optional<std::uint32_t> record = {};  // with read, in the listing: the record cut short

    bool operator==(const failure&) const = default;
};

// The value or the failure, read as std::expected is.
template <typename T>
class result {
public:
    result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    result(failure error) : state_(std::in_place_index<1>, error) {}
    result(failure_kind kind) : result(failure{kind}) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    const failure& error() const { return std::get<1>(state_); }

private:
    std::variant<T, failure> state_;
};

}  // namespace vantor
