#include "vag/vag_format.h"

#include <gtest/gtest.h>

#include <functional>

#include "test_support.h"

namespace mirnod {
namespace {

using test::bytes;

bytes valid_header() {
    bytes header = test::vag_file("voice", 160, {});
    header[30] = 1;
    return header;
}

TEST(is_supported_header, accepts_and_refuses_as_a_table) {
    struct acceptance_case {
        const char* what;
        std::function<void(bytes&)> change;
        bool supported;
    };
    const acceptance_case cases[] = {
        {"channel byte 1", [](bytes&) {}, true},
        {"channel byte 0", [](bytes& h) { h[30] = 0; }, true},
        {"channel byte 2", [](bytes& h) { h[30] = 2; }, false},
        {"channel byte 255", [](bytes& h) { h[30] = 255; }, false},
        {"byte 31 set", [](bytes& h) { h[31] = 1; }, false},
        {"byte 31 set, channel byte 0", [](bytes& h) { h[30] = 0, h[31] = 0x80; }, false},
        {"magic lower case", [](bytes& h) { h[0] = 'v'; }, false},
        {"magic upper case", [](bytes& h) { h[3] = 'P'; }, false},
        {"magic reordered", [](bytes& h) { std::swap(h[0], h[3]); }, false},
        {"47 bytes", [](bytes& h) { h.pop_back(); }, false},
        {"empty file", [](bytes& h) { h.clear(); }, false},
        {"anything in the unread fields",
         [](bytes& h) {
             for (int i : {4, 5, 6, 7, 8, 9, 10, 11, 20, 25, 29}) {
                 h[i] = 0xFF;
             }
         },
         true},
        {"any data size, rate and name",
         [](bytes& h) { std::fill(h.begin() + 12, h.begin() + 20, 0xFF), h[47] = 0xFF; }, true},
    };
    for (const acceptance_case& c : cases) {
        bytes header = valid_header();
        c.change(header);
        EXPECT_EQ(is_supported_header(header.data(), header.size()), c.supported) << c.what;
    }
}

TEST(vag_header, reads_big_endian_fields) {
    vag_header header;
    const bytes file = test::vag_file("voice", 0x01020304, {}, 0x000AC44F);
    std::copy_n(file.begin(), vag_header_size, header.bytes.begin());
    EXPECT_EQ(header_data_size(header), 0x01020304u);
    EXPECT_EQ(header_sample_rate(header), 0x000AC44Fu);
    header.bytes[30] = 0;
    EXPECT_EQ(header_channel_count(header), 1);
}

TEST(vag_header, name_ends_at_first_nul_or_after_sixteen_bytes) {
    struct name_case {
        std::string field;  // the 16 bytes of the name field
        std::string name;
    };
    const name_case cases[] = {
        {std::string("voice.vag") + std::string(7, '\0'), "voice.vag"},
        {std::string(16, '\0'), ""},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
        {std::string("ab\0cd", 5) + std::string(11, 'x'), "ab"},
        {"\x82\xa0\\..\\x" + std::string(9, '\0'), "\x82\xa0\\..\\x"},
    };
    for (const name_case& c : cases) {
        vag_header header;
        std::copy(c.field.begin(), c.field.end(), header.bytes.begin() + 32);
        EXPECT_EQ(header_name(header), c.name);
    }
}

TEST(block_count_for, ignores_a_partial_block) {
    EXPECT_EQ(block_count_for(0), 0u);
    EXPECT_EQ(block_count_for(15), 0u);
    EXPECT_EQ(block_count_for(16), 1u);
    EXPECT_EQ(block_count_for(31), 1u);
    EXPECT_EQ(block_count_for(0xFFFFFFFF), 0x0FFFFFFFu);
}

}  // namespace
}  // namespace mirnod
