// Lower-casing, file-name splitting and line break removal.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "GevrastSSE.h"

namespace {

// A destination pre-filled with '#' shows exactly which bytes a routine wrote.
struct Dest {
    Dest() { memset(buf, '#', sizeof(buf)); }
    std::string written() const { return std::string(buf, strnlen(buf, sizeof(buf))); }
    char buf[32];
};

TEST(Text, LowerCasingWritesOnlyTheLettersItChanges)
{
    Dest d;
    // '@' and '[' sit just outside 'A'..'Z'; the 'Q' lies beyond the length.
    CharToSmallASCII(d.buf, "AbZ@[\xC4Q", 6);
    EXPECT_EQ(std::string(d.buf, 8), "a#z#####");
    char in_place[] = "Data\\Map01.BIN";
    CharToSmallASCII(in_place, in_place, 4);
    EXPECT_STREQ(in_place, "data\\Map01.BIN");
    CharToSmallASCIILen(in_place, in_place);
    EXPECT_STREQ(in_place, "data\\map01.bin");

    Dest e;
    CharToSmallASCIILen(e.buf, "XY");
    EXPECT_EQ(std::string(e.buf, 3), "xy#");  // the terminator is not copied
}

TEST(Text, ExtensionsStartAtTheFirstDot)
{
    Dest d;
    EXPECT_EQ(GetExt(d.buf, "a.b.c"), 4u);
    EXPECT_EQ(d.written(), ".b.c");
    Dest none;
    EXPECT_EQ(GetExt(none.buf, "file"), 4u);
    EXPECT_EQ(none.buf[0], '#');  // untouched without a dot

    Dest r;
    EXPECT_EQ(RemoveExt(r.buf, "file"), 4u);
    EXPECT_EQ(r.written(), "file");
    EXPECT_EQ(RemoveExt(r.buf, "a.b.c"), 1u);
    EXPECT_EQ(r.written(), "a");
    EXPECT_EQ(RemoveExt(r.buf, ".hidden"), 0u);
    EXPECT_EQ(r.written(), "");
}

TEST(Text, PathSplitsAtTheLastSeparatorOfEitherKind)
{
    Dest p, n;
    EXPECT_EQ(GetNamePath(p.buf, "dir\\sub/file.bin"), 8u);
    EXPECT_EQ(p.written(), "dir\\sub/");
    EXPECT_EQ(GetNameRemovePath(n.buf, "dir\\sub/file.bin"), 8u);
    EXPECT_EQ(n.written(), "file.bin");
    EXPECT_EQ(GetNamePath(p.buf, "dir/sub\\"), 8u);
    EXPECT_EQ(GetNameRemovePath(n.buf, "dir/sub\\"), 0u);
    EXPECT_EQ(n.written(), "");

    EXPECT_EQ(GetNamePath(p.buf, "plain.txt"), 0u);
    EXPECT_EQ(p.written(), "");
    EXPECT_EQ(GetNameRemovePath(n.buf, "plain.txt"), 9u);
    EXPECT_EQ(n.written(), "plain.txt");

    EXPECT_EQ(GetNameRemovePath(nullptr, "a/b"), 0u);
    EXPECT_EQ(GetNameRemovePath(n.buf, nullptr), 0u);
}

TEST(Text, LineBreaksAndTabsBecomeSpacesWithinTheLength)
{
    char text[] = "a\r\nb\tc\n";
    EXPECT_EQ(RemoveCRLF(text, 4), 1u);
    EXPECT_STREQ(text, "a  b\tc\n");  // the tab at index 4 lies beyond the length
    EXPECT_EQ(RemoveCRLF(text, 7), 1u);
    EXPECT_STREQ(text, "a  b c ");
    EXPECT_EQ(RemoveCRLF(text, 7), 0u);
    EXPECT_EQ(RemoveCRLF(text, 0), 0u);
}

}  // namespace
