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
    sync,          // what was written may not be on the disk
    locked,        // another run kept the file locked for all of the wait
    no_journal,    // a change of many items cannot make its journal
    journal_left,  // an unfinished change is left, and this run cannot roll it back
    refused,       // a value that the item cannot hold as it is
};

// Why a value was refused.
enum class value_fault {
    none,
    no_value,      // an assignment without '='
    not_exact,     // the system could not hand the value over as typed
    bad_escape,    // a backslash that begins neither \\ nor \xHH
    not_a_number,  // not an optional sign and decimal digits
    out_of_range,  // a number the item's bytes cannot hold
    too_long,      // a text longer than the item
};

struct failure {
    failure_kind kind;
    std::uint32_t table_end = 0;          // with data_offset: where the table ends
    std::optional<std::uint32_t> record = {};  // with read, in the listing: the record cut short
    value_fault fault = value_fault::none;     // with refused
    std::uint64_t item_size = 0;               // with refused: the item's bytes
    std::uint64_t text_size = 0;               // with too_long: the text's bytes

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
