#include "support/layouts.hpp"

#include <string>

namespace vantor::testing {

namespace {

std::vector<unsigned char> sample_data()
{
    std::vector<unsigned char> data;
    put_be(data, 3, 4);                          // 2: version
    data.insert(data.end(), {1, 0});             // 31: recording on, gap
    put_be(data, 30, 2);                         // 32: frame rate
    put_be(data, 80, 2);                         // 33: video speed limit
    put_be(data, 2, 2);                          // 34: quality
    put_be(data, 2019, 2);                       // 51: model year
    const std::string vin = "VNT1SAMPLE0000001";  // 52: made up, 17 characters
    data.insert(data.end(), vin.begin(), vin.end());
    data.push_back(0);                           // gap
    put_be(data, 123456, 4);                     // 53: odometer
    data.insert(data.end(), 4, 0);               // gap
    for (const auto& [distance, duration] : {std::pair{12u, 1800u}, {45u, 3600u}, {7u, 600u}}) {
        put_be(data, distance, 2);               // 61
        put_be(data, duration, 4);               // 62
    }
    data.insert(data.end(), 2, 0);               // gap
    put_be(data, 0x01020304, 4);                 // 71, 72, 73: union
    return data;
}

}  // namespace

dat_layout sample_layout()
{
    dat_layout layout;
    layout.descriptors = {
        variable(1, 100, 64),
        structure(100, 2, 64),  // the variable's type
        member(2, 3, 4, 0),  // version
        typed_member(3, 110, 4, 4),
        typed_member(4, 120, 5, 12),
        typed_member(5, 130, 6, 40),
        typed_member(6, 150, 0, 60),
        structure(110, 31, 8),  // video
        member(31, 32, 1, 0),
        member(32, 33, 2, 2),
        member(33, 34, 2, 4),
        member(34, 0, 2, 6),
        structure(120, 51, 24),  // vehicle
        member(51, 52, 2, 0),
        member(52, 53, 17, 2),
        member(53, 0, 4, 20),
        array(130, 140, 6, 3),  // 3 trips
        structure(140, 61, 6),  // trip
        member(61, 62, 2, 0),
        member(62, 0, 4, 2),
        structure(150, 71, 4),  // union
        member(71, 72, 4, 0),
        member(72, 73, 2, 0),
        member(73, 0, 1, 0),
    };
    layout.data = sample_data();
    layout.item_desc_size = 16;
    layout.header_size = 28;
    layout.desc_size = 16 * static_cast<std::uint32_t>(layout.descriptors.size());
    layout.data_len = static_cast<std::uint32_t>(layout.data.size());
    layout.flag = 1;
    return layout;
}

}  // namespace vantor::testing
