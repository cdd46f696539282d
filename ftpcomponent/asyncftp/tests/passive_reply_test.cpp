// The data port read from a server's EPSV and PASV answers: what a server may send, and what a
// broken or hostile one may send instead, each with the port (or refusal, -1) it must give.
#include <gtest/gtest.h>

#include <string>

#include "passive_reply.h"

namespace {

using asyncftp::ParseEpsvPort;
using asyncftp::ParsePasvPort;

TEST(EpsvAnswer, PortBetweenTheDelimitersIsRead)
{
    EXPECT_EQ(ParseEpsvPort("Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ParseEpsvPort("(|||1|)"), 1);
    EXPECT_EQ(ParseEpsvPort("(|||65535|)"), 65535);
    EXPECT_EQ(ParseEpsvPort("(|||000021|)"), 21);  // six digits with leading zeros still fit
    EXPECT_EQ(ParseEpsvPort("|||2121|"), 2121);     // the parentheses carry nothing
}

TEST(EpsvAnswer, PortsOutsideOneTo65535AndMalformedAnswersAreRefused)
{
    EXPECT_EQ(ParseEpsvPort("(|||0|)"), -1);
    EXPECT_EQ(ParseEpsvPort("(|||65536|)"), -1);
    EXPECT_EQ(ParseEpsvPort("(|||999999|)"), -1);
    EXPECT_EQ(ParseEpsvPort("(|||0000021|)"), -1);                // seven digits
    EXPECT_EQ(ParseEpsvPort("(|||99999999999999999999|)"), -1);   // would overflow if summed
    EXPECT_EQ(ParseEpsvPort("(||||)"), -1);
    EXPECT_EQ(ParseEpsvPort("(|||6446)"), -1);                    // closing delimiter missing
    EXPECT_EQ(ParseEpsvPort("(|||6446"), -1);                     // text ends after the digits
    EXPECT_EQ(ParseEpsvPort("(|||-6446|)"), -1);
    EXPECT_EQ(ParseEpsvPort("(|||64 46|)"), -1);
    EXPECT_EQ(ParseEpsvPort("(||6446|)"), -1);
    EXPECT_EQ(ParseEpsvPort("Entering Extended Passive Mode"), -1);
    EXPECT_EQ(ParseEpsvPort(""), -1);
    EXPECT_EQ(ParseEpsvPort(std::string("(|||64\0" "46|)", 11)), -1);
}

TEST(PasvAnswer, PortIsTheLastTwoNumbersHighByteFirst)
{
    EXPECT_EQ(ParsePasvPort("Entering Passive Mode (127,0,0,1,4,1)"), 4 * 256 + 1);
    EXPECT_EQ(ParsePasvPort("(10,1,2,3,255,255)"), 65535);
    EXPECT_EQ(ParsePasvPort("(0,0,0,0,0,1)"), 1);
    EXPECT_EQ(ParsePasvPort("(192,168,001,002,019,137)"), 19 * 256 + 137);  // leading zeros
    // Without parentheses the first digits begin the address, as some servers write it.
    EXPECT_EQ(ParsePasvPort("Entering Passive Mode 127,0,0,1,4,1"), 1025);
    EXPECT_EQ(ParsePasvPort("=127,0,0,1,200,10"), 200 * 256 + 10);
    // Numbers before the parenthesis are not part of the address.
    EXPECT_EQ(ParsePasvPort("Mode 2 (127,0,0,1,0,21)"), 21);
}

TEST(PasvAnswer, NumbersOutOfRangeMissingOrOverlongAreRefused)
{
    EXPECT_EQ(ParsePasvPort("(256,0,0,1,4,1)"), -1);    // address byte out of range
    EXPECT_EQ(ParsePasvPort("(127,0,0,999,4,1)"), -1);
    EXPECT_EQ(ParsePasvPort("(127,0,0,1,256,1)"), -1);  // port byte out of range
    EXPECT_EQ(ParsePasvPort("(127,0,0,1,4,300)"), -1);
    EXPECT_EQ(ParsePasvPort("(127,0,0,1,0,0)"), -1);    // port 0
    EXPECT_EQ(ParsePasvPort("(127,0,0,1,0001,1)"), -1); // four digits, even if small
    EXPECT_EQ(ParsePasvPort("(127,0,0,1,99999999999999999999,1)"), -1);
    EXPECT_EQ(ParsePasvPort("(127,0,0,1,4)"), -1);      // five numbers
    EXPECT_EQ(ParsePasvPort("(127,0,0,1,4,"), -1);
    EXPECT_EQ(ParsePasvPort("(127,0,0,1;4,1)"), -1);
    EXPECT_EQ(ParsePasvPort("(127, 0, 0, 1, 4, 1)"), -1);
    EXPECT_EQ(ParsePasvPort("(127,0,,0,1,4,1)"), -1);
    EXPECT_EQ(ParsePasvPort("()"), -1);
    EXPECT_EQ(ParsePasvPort("Entering Passive Mode"), -1);
    EXPECT_EQ(ParsePasvPort(""), -1);
    // Whatever follows the sixth number is not read, and nothing past an embedded NUL is either.
    EXPECT_EQ(ParsePasvPort(std::string("(127,0,0,1,4\0,1)", 17)), -1);
}

}  // namespace
