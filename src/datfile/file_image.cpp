#include "datfile/file_image.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <utility>

#include "datfile/byte_order.hpp"
#include "datfile/journal.hpp"
#include "datfile/table_reader.hpp"
#include "platform/data_file.hpp"
#include "platform/platform.hpp"

namespace vantor {

namespace {

// Records as stored.
bool read_records(std::FILE* file, std::uint32_t first, unsigned char* records, std::uint32_t count)
{
    return platform::read_at(file, header_bytes + std::uint64_t{desc_bytes} * first, records,
                         std::uint64_t{desc_bytes} * count);
}

// Whether the stream holds, from its start, the header that `image` was
// loaded with and the records of the table that it read: all that a
// resolution looked at. Read from the start in long slices, each compared
// as it comes.
bool holds_loaded_layout(std::FILE* file, const file_image& image)
{
    unsigned char header[header_bytes];
    if (!platform::read_at(file, 0, header, header_bytes))
        return false;
    const dat_header now = host_order_header(header);
    if (std::memcmp(&now, &image.header(), header_bytes) != 0)
        return false;
    // Short slices through one small buffer: a fresh page costs more to
    // touch than a read from the system's cache costs to make.
    constexpr std::uint64_t slice = std::uint64_t{64} << 10;
    const std::uint64_t table_bytes = std::uint64_t{desc_bytes} * image.records_read();
    std::vector<unsigned char> bytes(static_cast<std::size_t>(std::min(slice, table_bytes)));
    for (std::uint64_t done = 0; done < table_bytes;) {
        const std::uint64_t count = std::min(slice, table_bytes - done);
        if (!platform::read_at(file, header_bytes + done, bytes.data(), count) ||
            std::memcmp(bytes.data(), image.table() + done, static_cast<std::size_t>(count)) != 0)
            return false;
        done += count;
    }
    return true;
}

// Whether every item lies within the file as it is now.
bool holds_items(std::FILE* file, const stored_items& items)
{
    const auto now = platform::status(file);
    return now && std::all_of(items.items.begin(), items.items.end(), [&](const stored_items::item& item) {
               return checked_region(now->size, item.place.start, item.place.size).has_value();
           });
}

// Latest first, each item takes what no later item took: the work grows
// with the items and their stretches, never with items times items.
store_plan plan_of(const stored_items& items)
{
    store_plan plan;
    // Assignments come mostly in the order of the file, each on bytes of its
    // own: then every item is a stretch, and runs join the adjacent ones.
    const auto& all = items.items;
    plan.items_in_order = std::adjacent_find(all.begin(), all.end(), [](const auto& a, const auto& b) {
                              return b.place.start < a.place.end();
                          }) == all.end();
    if (plan.items_in_order) {
        for (const auto& item : all) {
            if (item.place.size == 0)
                continue;
            if (!plan.runs.empty() && plan.runs.back().end() == item.place.start)
                plan.runs.back().size += item.place.size;
            else
                plan.runs.push_back(item.place);
        }
        return plan;
    }
    std::map<std::uint64_t, std::uint64_t> taken;  // runs so far, start to end, apart from one another
    for (std::size_t k = items.items.size(); k-- > 0;) {
        const region place = items.items[k].place;
        if (place.size == 0)
            continue;
        std::uint64_t at = place.start, start = place.start, end = place.end();
        auto run = taken.upper_bound(at);
        if (run != taken.begin() && std::prev(run)->second >= at)
            --run;
        // Every run that meets or touches the place joins it; the gaps
        // between them are this item's.
        for (; run != taken.end() && run->first <= place.end(); run = taken.erase(run)) {
            if (run->first > at)
                plan.stretches.push_back({{at, run->first - at}, k});
            at = std::max(at, run->second);
            start = std::min(start, run->first);
            end = std::max(end, run->second);
        }
        if (at < place.end())
            plan.stretches.push_back({{at, place.end() - at}, k});
        taken.emplace(start, end);
    }
    for (const auto& [start, end] : taken)
        plan.runs.push_back({start, end - start});
    std::sort(plan.stretches.begin(), plan.stretches.end(),
              [](const auto& a, const auto& b) { return a.place.start < b.place.start; });
    return plan;
}

// Copies the bytes of [at, at + count) of one item's place, its given bytes
// and then zeros, to `out`.
void copy_item_bytes(const stored_items& items, std::size_t k, std::uint64_t at, std::uint64_t count, unsigned char* out)
{
    const stored_items::item& item = items.items[k];
    const std::string_view bytes = items.given(item);
    const std::uint64_t from = at - item.place.start;
    const std::uint64_t given = from < bytes.size() ? std::min<std::uint64_t>(count, bytes.size() - from) : 0;
    std::copy_n(bytes.data() + from, given, out);
    std::fill_n(out + given, count - given, 0);
}

// Each run in one write, or for a long run one write a piece: what is
// written passes through a buffer of a fixed size.
bool write_plan(std::FILE* file, const stored_items& items, const store_plan& plan)
{
    constexpr std::uint64_t piece_bytes = std::uint64_t{1} << 20;
    const auto stretch_at = [&](std::size_t k) {
        return plan.items_in_order ? store_plan::stretch{items.items[k].place, k} : plan.stretches[k];
    };
    std::vector<unsigned char> piece;
    std::size_t next = 0;
    for (const region run : plan.runs) {
        for (std::uint64_t at = run.start; at < run.end();) {
            const std::uint64_t count = std::min(piece_bytes, run.end() - at);
            piece.resize(static_cast<std::size_t>(count));
            for (std::uint64_t filled = 0; filled < count;) {
                while (stretch_at(next).place.end() <= at + filled)
                    ++next;
                const store_plan::stretch stretch = stretch_at(next);
                const std::uint64_t now = std::min(count - filled, stretch.place.end() - (at + filled));
                copy_item_bytes(items, stretch.item, at + filled, now, piece.data() + filled);
                filled += now;
            }
            if (!platform::write_at(file, at, piece.data(), piece.size()))
                return false;
            at += count;
        }
    }
    return true;
}

std::uint64_t bytes_of(const store_plan& plan)
{
    std::uint64_t bytes = 0;
    for (const region run : plan.runs)
        bytes += run.size;
    return bytes;
}

// The stream to store through: the one loaded while the name still names
// it, else the name opened anew, and locked.
std::optional<stream_handle> update_stream(const char* path, file_image& image)
{
    stream_handle loaded = image.release_file();
    if (image.open_for_update() && platform::same_file(path, loaded.get()))
        return loaded;
    loaded.reset();
    auto reopened = open_data_file(path, file_use::update);
    if (!reopened || reopened->lock == platform::lock_outcome::busy)
        return std::nullopt;
    std::setvbuf(reopened->stream.get(), nullptr, _IONBF, 0);
    return stream_handle(reopened->stream.release(), &std::fclose);
}

// The stream and the runs of a store, once the file is found to be as
// loaded.
result<std::pair<stream_handle, store_plan>> checked_store(const char* path, file_image& image,
                                                          const stored_items& items)
{
    std::optional<stream_handle> file = update_stream(path, image);
    if (!file)
        return failure_kind::open;
    if (!holds_loaded_layout(file->get(), image) || !holds_items(file->get(), items))
        return failure_kind::write;
    return std::pair{std::move(*file), plan_of(items)};
}

result<file_image> load_layout(stream_handle file, std::uint64_t size, bool open_for_update)
{
    if (size == 0)
        return failure_kind::alloc;
    unsigned char header_record[header_bytes];
    if (size < header_bytes || !platform::read_at(file.get(), 0, header_record, header_bytes))
        return failure_kind::read;
    const dat_header header = host_order_header(header_record);
    const auto table = checked_region(size, header_bytes, std::uint64_t{desc_bytes} * header.item_numb);
    if (!table)
        return failure_kind::read;
    // A data area inside the table would let a store overwrite descriptors.
    if (header.data_offset < table->end())
        return failure{failure_kind::data_offset, static_cast<std::uint32_t>(table->end())};
    try {
        return file_image(header, size, std::move(file), open_for_update);
    } catch (const std::bad_alloc&) {
        return failure_kind::alloc;
    }
}

}  // namespace

namespace {

// Room for the whole table, which the look-ups fill as they go: pages never
// read are never touched.
std::shared_ptr<unsigned char[]> room_for_table(std::uint32_t count)
{
    auto memory = std::make_shared<platform::zeroed_memory>(std::size_t{desc_bytes} * count, count >= long_table);
    return std::shared_ptr<unsigned char[]>(memory, static_cast<unsigned char*>(memory->data()));
}

}  // namespace

file_image::file_image(const dat_header& header, std::uint64_t size, stream_handle file, bool open_for_update)
    : header_(header),
      size_(size),
      file_(std::move(file)),
      open_for_update_(open_for_update),
      table_(room_for_table(header.item_numb))
{
}

std::uint32_t file_image::read_table(std::uint32_t wanted) const
{
    // Each slice as long as all before it: a short question reads little,
    // and a whole table takes few reads.
    constexpr std::uint32_t first_slice = 16384;
    wanted = std::min(wanted, item_numb());
    while (records_read_ < wanted) {
        const std::uint32_t count = std::min(std::max(first_slice, records_read_), item_numb() - records_read_);
        if (!read_records(file_.get(), records_read_, table_.get() + std::size_t{desc_bytes} * records_read_, count))
            break;
        records_read_ += count;
    }
    return records_read_;
}

result<file_image> load_file_image(mended_file opened)
{
    std::setvbuf(opened.stream.get(), nullptr, _IONBF, 0);
    return load_layout(std::move(opened.stream), opened.size, opened.updatable);
}

result<file_image> load_file_image(const char* path, image_use use)
{
    result<mended_file> opened = open_mended(path, use == image_use::write ? open_for::update_or_reading : open_for::reading);
    if (!opened)
        return opened.error();
    return load_file_image(std::move(*opened));
}

result<file_image> make_file_image(std::span<const unsigned char> bytes)
{
    stream_handle file(std::tmpfile(), &std::fclose);
    if (!file || std::setvbuf(file.get(), nullptr, _IONBF, 0) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return failure_kind::open;
    return load_layout(std::move(file), bytes.size(), false);
}

result<std::vector<unsigned char>> read_bytes(const file_image& image, region place)
{
    std::vector<unsigned char> bytes(static_cast<std::size_t>(place.size));
    if (!read_bytes(image, place, bytes.data()))
        return failure_kind::read;
    return bytes;
}

bool read_bytes(const file_image& image, region place, unsigned char* bytes)
{
    return platform::read_at(image.file(), place.start, bytes, place.size);
}

result<std::uint64_t> store_items(const char* path, file_image& image, const stored_items& items)
{
    auto checked = checked_store(path, image, items);
    if (!checked)
        return checked.error();
    auto& [file, plan] = *checked;
    if (!write_plan(file.get(), items, plan))
        return failure_kind::write;
    if (!platform::sync(file.get()))
        return failure_kind::sync;
    if (std::fclose(file.release()) != 0)
        return failure_kind::write;
    return bytes_of(plan);
}

result<pending_store> pending_store::begin(const char* path, file_image& image, const stored_items& items)
{
    auto checked = checked_store(path, image, items);
    if (!checked)
        return checked.error();
    auto& [file, plan] = *checked;
    result<journal> begun = journal::begin(path, file.get(), plan.runs);
    if (!begun)
        return begun.error();
    return pending_store(std::move(file), items, std::move(plan), std::move(*begun));
}

result<std::uint64_t> pending_store::finish()
{
    const bool written = write_plan(file_.get(), *items_, plan_);
    if (!written || !platform::sync(file_.get())) {
        // Once rolled back, the journal has nothing left to mend.
        if (!journal_.roll_back(file_.get()) || !journal_.remove())
            return failure_kind::journal_left;
        return written ? failure_kind::sync : failure_kind::write;
    }
    if (!journal_.remove())
        return failure_kind::journal_left;
    return bytes_of(plan_);
}

}  // namespace vantor
