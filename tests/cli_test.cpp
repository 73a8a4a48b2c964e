#include <gtest/gtest.h>

#include <climits>

#include "cli/convert.h"
#include "platform/platform.h"

namespace mirnod {
namespace {

TEST(format_grouped, groups_digits_in_threes) {
    struct grouping_case {
        std::int32_t value;
        const char* text;
    };
    for (const grouping_case& c : {grouping_case{0, "0"},
                                   {9, "9"},
                                   {999, "999"},
                                   {1000, "1,000"},
                                   {604, "604"},
                                   {1048576, "1,048,576"},
                                   {-5, "-5"},
                                   {-1000, "-1,000"},
                                   {INT_MAX, "2,147,483,647"},
                                   {INT_MIN, "-2,147,483,648"},
                                   {-2147483564, "-2,147,483,564"},
                                   {1000000000, "1,000,000,000"}}) {
        EXPECT_EQ(format_grouped(c.value), c.text);
    }
}

TEST(normalise_destination, ignores_short_ones_and_ends_others_with_a_separator) {
    const std::string sep(1, platform::directory_separator);
    const char other = sep == "/" ? '\\' : '/';
    struct destination_case {
        std::string argument;
        std::string destination;
    };
    const destination_case cases[] = {
        {"", ""},
        {".", ""},
        {sep, ""},
        {"..", ".." + sep},
        {"out", "out" + sep},
        {"out" + sep, "out" + sep},
        {std::string("out") + other, std::string("out") + other + sep},
        {std::string(300, 'd'), std::string(300, 'd') + sep},
    };
    for (const destination_case& c : cases) {
        EXPECT_EQ(normalise_destination(c.argument), c.destination) << c.argument;
    }
}

TEST(display_directory, shows_the_destination_or_else_the_working_directory) {
    EXPECT_EQ(display_directory("out/"), "out/");
    EXPECT_EQ(display_directory(""), platform::working_directory());
}

}  // namespace
}  // namespace mirnod
