// The text readers that maps, tracks, traces and lists of limits share.
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "text/csv.h"
#include "text/iso8601.h"
#include "text/text.h"
#include "text/track_columns.h"

namespace {

using namespace korvale::text;

bool reads(std::string_view text, double expected) {
    double value = 0.0;
    return read_number(text, &value) && value == expected;
}

bool refuses(std::string_view text) {
    double value = 0.0;
    return !read_number(text, &value);
}

TEST(Text, NumbersAreDecimalAndFinite) {
    EXPECT_TRUE(reads(" +1.5\r\n", 1.5));
    EXPECT_TRUE(reads("-2e3", -2000.0));
    EXPECT_TRUE(reads(".25", 0.25));
    for (const char* bad : {"", "  ", "nan", "NAN", "inf", "-infinity", "0x10", "1e999", "1,5",
                            "12abc", "+-1", "++1", "1 2"}) {
        EXPECT_TRUE(refuses(bad)) << bad;
    }
    int integer = 0;
    EXPECT_TRUE(read_integer("-12", &integer) && integer == -12);
    for (const char* bad : {"", " 1", "1 ", "+1", "1.0", "99999999999"}) {
        EXPECT_FALSE(read_integer(bad, &integer)) << bad;
    }
}

TEST(Text, PiecesOfLinesAndMessages) {
    EXPECT_EQ(trimmed(" \t a b\r\n"), "a b");
    EXPECT_EQ(trimmed(" \r "), "");
    EXPECT_EQ(lower("LaT Lng"), "lat lng");
    EXPECT_EQ(without_byte_order_mark("\xEF\xBB\xBFlat"), "lat");
    EXPECT_EQ(without_byte_order_mark("\xEF\xBBlat"), "\xEF\xBBlat");
    const std::string text = "a\nb\n\nc";
    EXPECT_EQ(line_of(text.data(), text.size(), 0), 1u);
    EXPECT_EQ(line_of(text.data(), text.size(), 5), 4u);
    EXPECT_EQ(line_of(text.data(), text.size(), -3), 1u);
    EXPECT_EQ(line_of(text.data(), text.size(), 99), 4u);
    EXPECT_EQ(quoted("road"), "'road'");
    EXPECT_EQ(quoted("abcdef", 3), "'abc...'");
}

TEST(Text, ContentLinesPassOverBlanksAndComments) {
    ContentLines lines(" a,b \r\n\n  # note\r\n\t\r\nc;d");
    std::string_view line;
    ASSERT_TRUE(lines.next(&line));
    EXPECT_EQ(line, "a,b");
    EXPECT_EQ(lines.number(), 1u);
    ASSERT_TRUE(lines.next(&line));
    EXPECT_EQ(line, "c;d");
    EXPECT_EQ(lines.number(), 5u);
    EXPECT_FALSE(lines.next(&line));
    ContentLines none("\n# only\n");
    EXPECT_FALSE(none.next(&line));
}

TEST(Text, FieldsSplitOutsideQuotes) {
    EXPECT_EQ(guess_separator("lat;lon,ele"), ',');
    EXPECT_EQ(guess_separator("lat;lon"), ';');
    EXPECT_EQ(guess_separator("lat\tlon"), '\t');
    EXPECT_EQ(guess_separator("lat"), ',');
    const std::vector<std::string> fields = split_fields(" 1 ,\"b, \"\"c\"\"\",,x ", ',');
    EXPECT_EQ(fields, (std::vector<std::string>{"1", "b, \"c\"", "", "x"}));
    EXPECT_EQ(split_fields("", ';'), std::vector<std::string>{""});
    EXPECT_EQ(split_fields("a;b,c", ';'), (std::vector<std::string>{"a", "b,c"}));
}

TEST(Text, Iso8601DatesAndTimes) {
    EXPECT_DOUBLE_EQ(parse_iso8601("2016-02-02T16:58:58Z"), 1454432338.0);
    EXPECT_DOUBLE_EQ(parse_iso8601(" 2016-02-02T17:58:58.5+01:00 "), 1454432338.5);
    EXPECT_DOUBLE_EQ(parse_iso8601("2016-02-02t08:58:58,25-0800"), 1454432338.25);
    EXPECT_DOUBLE_EQ(parse_iso8601("1970-01-02 00:00"), 86400.0);
    EXPECT_DOUBLE_EQ(parse_iso8601("1969-12-31T24:00:00+00"), 0.0);
    for (const char* bad : {"2016-13-02T10:00:00Z", "2016-02-02T10:00:00 UTC", "2016-02-02",
                            "2016-02-02T10:00:00.Z", "2016-02-02T10:00Z+01", "2016-02-02T10:60",
                            "2016-02-02T10:00+24:00", "2016-02-02T10:00+1:00", "16-02-02T10:00"}) {
        EXPECT_TRUE(std::isnan(parse_iso8601(bad))) << bad;
    }
}

TEST(Text, TrackColumnsByTheirNames) {
    const TrackColumns columns =
        name_track_columns({"Time", "LNG", "name", "Latitude", "alt", "lat", "maxspeed"});
    EXPECT_EQ(columns.time, 0);
    EXPECT_EQ(columns.lon, 1);
    EXPECT_EQ(columns.lat, 3); // the first of two
    EXPECT_EQ(columns.ele, 4);
    EXPECT_EQ(columns.maxspeed, 6);
    EXPECT_EQ(columns.needed, 7);
    EXPECT_TRUE(columns.has_position());
    EXPECT_FALSE(name_track_columns({"t", "x", "y", "lat"}).has_position());
    EXPECT_EQ(name_track_columns({"longitude", "latitude"}).needed, 2);
}

} // namespace
