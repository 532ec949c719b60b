#include "support/layouts.hpp"

namespace vantor::testing {

dat_layout worked_example()
{
    dat_layout layout;
    layout.descriptors = {
        variable(1, 2, 16),
        structure(2, 10, 16),
        member(10, 11, 1, 0),
        member(11, 12, 2, 2),
        typed_member(12, 3, 13, 4),
        typed_member(13, 4, 0, 8),
        array(4, 5, 4, 2),
        structure(3, 20, 4),
        member(20, 0, 4, 0),
        structure(5, 30, 4),
        member(30, 31, 2, 0),
        member(31, 0, 2, 2),
    };
    layout.data.assign(16, 0);
    return layout;
}

std::vector<unsigned char> example_file(std::optional<std::uint32_t> item_numb, std::optional<std::uint32_t> data_offset,
                                        std::size_t size)
{
    dat_layout layout = worked_example();
    layout.item_numb = item_numb;
    layout.data_offset = data_offset;
    return cut(build_dat(layout), size);
}

dat_layout union_example()
{
    dat_layout layout;
    layout.descriptors = {variable(1, 10, 4), structure(10, 11, 4), member(11, 12, 4, 0), member(12, 13, 2, 0),
                          member(13, 0, 1, 0)};
    layout.data = {1, 2, 3, 4};
    return layout;
}

dat_layout overlap_example()
{
    dat_layout layout;
    layout.descriptors = {variable(1, 20, 5), structure(20, 21, 5), member(21, 22, 4, 0), member(22, 23, 2, 2),
                          member(23, 0, 1, 4)};
    layout.data.assign(5, 7);
    return layout;
}

dat_layout self_containing()
{
    dat_layout layout;
    layout.descriptors = {variable(1, 2, 4), structure(2, 10, 4), typed_member(10, 2, 11, 0), member(11, 0, 4, 0)};
    layout.data = {0, 0, 0, 42};
    return layout;
}

dat_layout looping_chain()
{
    dat_layout layout;
    layout.descriptors = {variable(1, 2, 4), structure(2, 10, 4), member(10, 11, 2, 0), member(11, 10, 2, 2)};
    layout.data.assign(4, 0);
    return layout;
}

dat_layout duplicate_ids()
{
    dat_layout layout;
    layout.descriptors = {variable(1, 2, 4), structure(2, 10, 4), member(10, 11, 2, 0), member(11, 0, 2, 2),
                          member(10, 0, 1, 3), structure(2, 11, 4)};
    layout.data.assign(4, 0);
    return layout;
}

dat_layout random_layout(std::mt19937& random)
{
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    const std::uint8_t flags[] = {1, 1, 1, 1, 1, 2, 2, 3, 3, 0x83, 0x81, 4, 5};
    const std::uint32_t ids = pick(6, 30);
    dat_layout layout;
    layout.descriptors.push_back(variable(1, static_cast<std::uint16_t>(pick(2, ids)), pick(0, 64)));
    for (std::uint32_t i = pick(1, 40); i > 0; --i)
        layout.descriptors.push_back({flags[pick(0, sizeof flags - 1)], static_cast<std::uint16_t>(pick(1, ids)),
                                      static_cast<std::uint16_t>(pick(0, ids)), pick(0, 3) == 0 ? pick(0, ids) : pick(0, 9),
                                      pick(0, 7) == 0 ? pick(0, UINT32_MAX) : pick(0, 40)});
    const char bytes[] = {0, 0, 0, 'A', 'z', '\\', '\n', '\x7F', '\x80', '\xFF', '=', '#'};
    for (std::uint32_t i = pick(0, 200); i > 0; --i)
        layout.data.push_back(static_cast<unsigned char>(bytes[pick(0, sizeof bytes - 1)]));
    return layout;
}

}  // namespace vantor::testing
