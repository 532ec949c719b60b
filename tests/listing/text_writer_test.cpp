#include "listing/text_writer.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/capture.hpp"

namespace vantor {
namespace {

std::string written(decimal_field field)
{
    return testing::capture_output([&](std::FILE* out) { text_writer(out) << field; });
}

std::string printed(const char* format, std::int32_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// printf itself is the oracle for every field helper.
TEST(text_writer, fields_format_as_printf_does)
{
    const std::int32_t values[] = {0,     1,      -1,     9,      10,     -9,        -10,      99,
                                   100,   -99,    -100,   999,    1000,   -999,      -1000,    99999,
                                   100000, -99999, -100000, 65535, INT32_MIN, INT32_MAX, INT32_MIN + 1};
    for (const std::int32_t value : values) {
        EXPECT_EQ(written(decimal(value)), printed("%d", value)) << value;
        for (const int width : {3, 5, 6, 9}) {
            char zeros[8], blanks[8];
            std::snprintf(zeros, sizeof zeros, "%%0%dd", width);
            std::snprintf(blanks, sizeof blanks, "%%%dd", width);
            EXPECT_EQ(written(zero(value, width)), printed(zeros, value)) << zeros << ' ' << value;
            EXPECT_EQ(written(right(value, width)), printed(blanks, value)) << blanks << ' ' << value;
        }
    }
}

TEST(text_writer, text_longer_than_its_buffer_arrives_whole_and_in_order)
{
    std::string expected;
    const std::string text = testing::capture_output([&](std::FILE* out) {
        text_writer writer(out);
        for (int i = 0; i < 30'000; ++i) {
            writer << "row " << zero(i, 5) << ':' << '\n';
            expected += "row ";
            expected += printed("%05d", i);
            expected += ":\n";
        }
        const std::string block(200'000, 'x');
        writer << block;
        expected += block;
    });
    EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace vantor
