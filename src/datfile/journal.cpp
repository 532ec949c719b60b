#include "datfile/journal.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "datfile/byte_order.hpp"
#include "platform/data_file.hpp"
#include "platform/platform.hpp"

namespace vantor {

namespace {

constexpr std::array<unsigned char, 8> magic = {'V', 'A', 'N', 'T', 'O', 'R', 'J', '1'};
constexpr std::uint64_t head_bytes = 40;  // the magic, the file's size and identity, R
constexpr std::uint64_t range_bytes = 16;
constexpr std::uint64_t sum_bytes = 8;
// Old bytes pass through a buffer of this size, however long the change.
constexpr std::uint64_t chunk = std::uint64_t{1} << 20;

struct fnv1a {
    std::uint64_t value = 0xCBF29CE484222325u;

    void add(const unsigned char* bytes, std::size_t count)
    {
        for (std::size_t k = 0; k < count; ++k)
            value = (value ^ bytes[k]) * 0x100000001B3u;
    }
};

// The journal's bytes, summed as they come and written a chunk at a time.
class journal_writer {
public:
    explicit journal_writer(std::FILE* file) : file_(file) { buffer_.reserve(chunk); }

    void put(const unsigned char* bytes, std::size_t count)
    {
        sum_.add(bytes, count);
        buffer_.insert(buffer_.end(), bytes, bytes + count);
        if (buffer_.size() >= chunk)
            flush();
    }
    template <std::unsigned_integral T>
    void put_number(T value)
    {
        unsigned char bytes[sizeof(T)];
        store_be(bytes, value);
        put(bytes, sizeof bytes);
    }
    // The bytes of `range` of `source`.
    bool put_from(std::FILE* source, region range)
    {
        for (std::uint64_t done = 0; done < range.size;) {
            const std::size_t held = buffer_.size();
            const auto now = static_cast<std::size_t>(std::min(range.size - done, chunk - held));
            buffer_.resize(held + now);
            if (!platform::read_at(source, range.start + done, buffer_.data() + held, now))
                return false;
            sum_.add(buffer_.data() + held, now);
            done += now;
            if (buffer_.size() >= chunk)
                flush();
        }
        return true;
    }
    // The sum of all before it, then everything on its way to the disk.
    bool close()
    {
        unsigned char bytes[sum_bytes];
        store_be(bytes, sum_.value);
        buffer_.insert(buffer_.end(), bytes, bytes + sum_bytes);
        flush();
        return written_;
    }

private:
    void flush()
    {
        written_ = written_ && platform::write_at(file_, at_, buffer_.data(), buffer_.size());
        at_ += buffer_.size();
        buffer_.clear();
    }

    std::FILE* file_;
    std::uint64_t at_ = 0;
    std::vector<unsigned char> buffer_;
    fnv1a sum_;
    bool written_ = true;
};

// What a whole journal records.
struct recorded_change {
    std::uint64_t file_size;
    platform::file_identity file;
    std::vector<region> ranges;
};

// Whether the journal's bytes before its last eight sum to what those hold.
result<bool> sum_agrees(std::FILE* journal, std::uint64_t length)
{
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min(length, chunk)));
    fnv1a sum;
    const std::uint64_t summed = length - sum_bytes;
    for (std::uint64_t done = 0; done < summed;) {
        const auto now = static_cast<std::size_t>(std::min(summed - done, chunk));
        if (!platform::read_at(journal, done, buffer.data(), now))
            return failure_kind::journal_left;
        sum.add(buffer.data(), now);
        done += now;
    }
    unsigned char stored[sum_bytes];
    if (!platform::read_at(journal, summed, stored, sum_bytes))
        return failure_kind::journal_left;
    return load_be<std::uint64_t>(stored) == sum.value;
}

// The change a journal of `length` bytes records; nothing when it is not
// whole. Every count is checked against the length before it is used.
result<std::optional<recorded_change>> read_journal(std::FILE* journal, std::uint64_t length)
{
    unsigned char head[head_bytes];
    if (length < head_bytes + sum_bytes)
        return std::optional<recorded_change>();
    if (!platform::read_at(journal, 0, head, head_bytes))
        return failure_kind::journal_left;
    const std::uint64_t count = load_be<std::uint64_t>(head + 32);
    const std::uint64_t room = length - head_bytes - sum_bytes;
    if (!std::equal(magic.begin(), magic.end(), head) || count > room / range_bytes)
        return std::optional<recorded_change>();
    std::vector<unsigned char> table(static_cast<std::size_t>(count * range_bytes));
    if (!platform::read_at(journal, head_bytes, table.data(), table.size()))
        return failure_kind::journal_left;
    recorded_change change{load_be<std::uint64_t>(head + 8),
                           {load_be<std::uint64_t>(head + 16), load_be<std::uint64_t>(head + 24)},
                           {}};
    std::uint64_t old_bytes = room - count * range_bytes;
    for (std::uint64_t k = 0; k < count; ++k) {
        const region range{load_be<std::uint64_t>(&table[k * range_bytes]), load_be<std::uint64_t>(&table[k * range_bytes + 8])};
        // Inside the file the journal names, and all within the journal.
        if (!checked_region(change.file_size, range.start, range.size) || range.size > old_bytes)
            return std::optional<recorded_change>();
        old_bytes -= range.size;
        change.ranges.push_back(range);
    }
    const result<bool> agrees = old_bytes == 0 ? sum_agrees(journal, length) : result<bool>(false);
    if (!agrees)
        return agrees.error();
    if (!*agrees)
        return std::optional<recorded_change>();
    return std::optional<recorded_change>(std::move(change));
}

// Copies the old bytes of `ranges` from the journal back into the file, and
// syncs it.
bool write_back(std::FILE* journal, std::span<const region> ranges, std::FILE* file)
{
    std::vector<unsigned char> buffer;
    std::uint64_t from = head_bytes + range_bytes * ranges.size();
    for (const region range : ranges) {
        for (std::uint64_t done = 0; done < range.size;) {
            const auto now = static_cast<std::size_t>(std::min(range.size - done, chunk));
            buffer.resize(now);
            if (!platform::read_at(journal, from, buffer.data(), now) ||
                !platform::write_at(file, range.start + done, buffer.data(), now))
                return false;
            from += now;
            done += now;
        }
    }
    return platform::sync(file);
}

bool remove_journal(const std::string& name)
{
    return platform::remove_file(name.c_str()) && platform::sync_folder(name.c_str());
}

}  // namespace

std::string journal_name(std::string_view file_name) { return std::string(file_name) + ".vantor-journal"; }

bool journal_beside(const char* file_name) { return platform::status(journal_name(file_name).c_str()).has_value(); }

result<mending> mend(const char* file_name, std::FILE* file)
{
    const std::string name = journal_name(file_name);
    if (!platform::status(name.c_str()))
        return mending::none;
    file_handle journal(platform::open_file(name.c_str(), "rb"));
    const auto length = journal ? platform::status(journal.get()) : std::nullopt;
    if (!length || !length->regular)
        return failure_kind::journal_left;
    std::setvbuf(journal.get(), nullptr, _IONBF, 0);
    const auto change = read_journal(journal.get(), length->size);
    if (!change)
        return change.error();
    mending done = mending::removed_unfinished;
    if (*change) {
        const auto now = platform::status(file);
        const auto identity = platform::identity(file);
        if (!now || !identity || now->size != (*change)->file_size || *identity != (*change)->file)
            done = mending::removed_foreign;
        else if (write_back(journal.get(), (*change)->ranges, file))
            done = mending::rolled_back;
        else
            return failure_kind::journal_left;
    }
    journal.reset();
    if (!remove_journal(name))
        return failure_kind::journal_left;
    return done;
}

namespace {

file_use use_of(open_for use)
{
    return use == open_for::listing ? file_use::listing : use == open_for::update ? file_use::update : file_use::load;
}

mended_file mended(data_file opened, open_for use, mending found)
{
    return {stream_handle(opened.stream.release(), &std::fclose), opened.size, opened.regular, use == open_for::update,
            found};
}

}  // namespace

result<mended_file> open_mended(const char* name, open_for use)
{
    if (use == open_for::update_or_reading) {
        result<mended_file> updated = open_mended(name, open_for::update);
        if (updated || updated.error().kind != failure_kind::open)
            return updated;
        use = open_for::reading;
    }
    mending found = mending::none;
    // Another run may crash between a reader's mending and its opening anew.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::optional<data_file> opened = open_data_file(name, use_of(use));
        if (!opened)
            return failure_kind::open;
        if (opened->lock == platform::lock_outcome::busy)
            return failure_kind::locked;
        if (!opened->regular || !journal_beside(name))
            return mended(std::move(*opened), use, found);
        if (use == open_for::update) {
            const result<mending> done = mend(name, opened->stream.get());
            if (!done)
                return done.error();
            return mended(std::move(*opened), use, *done);
        }
        platform::unlock(opened->stream.get());
        opened.reset();
        const std::optional<data_file> writer = open_data_file(name, file_use::update);
        if (!writer)
            return failure_kind::journal_left;
        if (writer->lock == platform::lock_outcome::busy)
            return failure_kind::locked;
        const result<mending> done = mend(name, writer->stream.get());
        if (!done)
            return done.error();
        if (*done != mending::none)
            found = *done;
    }
    return failure_kind::locked;
}

journal::journal(std::string name, stream_handle stream, std::vector<region> ranges)
    : name_(std::move(name)), stream_(std::move(stream)), ranges_(std::move(ranges))
{
}

result<journal> journal::begin(const char* file_name, std::FILE* file, std::span<const region> ranges)
{
    std::string name = journal_name(file_name);
    const auto size = platform::status(file);
    const auto identity = platform::identity(file);
    if (!size || !identity)
        return failure_kind::read;
    stream_handle stream(platform::create_file(name.c_str()), &std::fclose);
    if (!stream)
        return failure_kind::no_journal;
    journal_writer writer(stream.get());
    writer.put(magic.data(), magic.size());
    writer.put_number(size->size);
    writer.put_number(identity->device);
    writer.put_number(identity->index);
    writer.put_number(std::uint64_t{ranges.size()});
    for (const region range : ranges) {
        writer.put_number(range.start);
        writer.put_number(range.size);
    }
    const bool read = std::all_of(ranges.begin(), ranges.end(), [&](region range) { return writer.put_from(file, range); });
    if (!read || !writer.close() || !platform::sync(stream.get()) || !platform::sync_folder(name.c_str())) {
        stream.reset();
        remove_journal(name);
        return read ? failure_kind::no_journal : failure_kind::read;
    }
    return journal(std::move(name), std::move(stream), std::vector<region>(ranges.begin(), ranges.end()));
}

bool journal::remove()
{
    stream_.reset();
    return remove_journal(name_);
}

bool journal::roll_back(std::FILE* file) const { return stream_ && write_back(stream_.get(), ranges_, file); }

}  // namespace vantor
