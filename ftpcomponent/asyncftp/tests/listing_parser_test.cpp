// Listing lines whose name holds a NUL byte: the find record carries a C string, so such a name
// would reach the caller cut short, as an empty name, ".", ".." or another file's name.
#include <gtest/gtest.h>

#include <string>

#include "listing_parser.h"

namespace {

using asyncftp::ParseListLine;
using asyncftp::ParseMlsdLine;

SYSTEMTIME Now()
{
    SYSTEMTIME now = {};
    now.wYear = 2026;
    now.wMonth = 6;
    now.wDay = 15;
    return now;
}

std::string WithNul(const char* before, const char* after)
{
    return std::string(before) + '\0' + after;
}

TEST(ListingNames, ANameHoldingANulByteIsNoEntryInAnyForm)
{
    WIN32_FIND_DATAA entry;
    EXPECT_FALSE(ParseMlsdLine(WithNul("type=file;size=3; ", "game.pak"), entry));  // empty name
    EXPECT_FALSE(ParseMlsdLine(WithNul("type=dir; ..", "x"), entry));                // ".." after the cut
    EXPECT_FALSE(ParseMlsdLine(WithNul("type=file;size=3; game.pak", ".bak"), entry));  // another file's name
    EXPECT_FALSE(ParseListLine(WithNul("-rw-r--r-- 1 ftp ftp 3 Jan 15 10:30 .", "x"), entry, Now()));
    EXPECT_FALSE(ParseListLine(WithNul("-rw-r--r-- 1 ftp ftp 3 Jan 15 10:30 ", "game.pak"), entry, Now()));
    EXPECT_FALSE(ParseListLine(WithNul("01-15-26  10:30AM  3 ", "readme.txt"), entry, Now()));
}

TEST(ListingNames, TheSameLinesWithoutTheNulByteAreEntries)
{
    WIN32_FIND_DATAA entry;
    ASSERT_TRUE(ParseMlsdLine("type=file;size=3; game.pak", entry));
    EXPECT_STREQ(entry.cFileName, "game.pak");
    ASSERT_TRUE(ParseListLine("-rw-r--r-- 1 ftp ftp 3 Jan 15 10:30 .x", entry, Now()));
    EXPECT_STREQ(entry.cFileName, ".x");
    ASSERT_TRUE(ParseListLine("01-15-26  10:30AM  3 readme.txt", entry, Now()));
    EXPECT_STREQ(entry.cFileName, "readme.txt");
}

}  // namespace
