// The resolution list rule with made-up display modes, and the two option files byte for byte.
#include <gtest/gtest.h>

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "config_test_files.h"
#include "options/option_files.h"
#include "options/resolution_list.h"

namespace {

using Modes = std::map<std::wstring, std::vector<QLResolution>>;

std::vector<QLResolution> Build(const std::vector<std::wstring>& monitors, const Modes& modes)
{
    return BuildResolutionList(monitors, [&](const std::wstring& device, uint32_t index, QLResolution& mode) {
        auto it = modes.find(device);
        if (it == modes.end() || index >= it->second.size()) return false;
        mode = it->second[index];
        return true;
    });
}

TEST(ResolutionList, EachDeviceGivesEachSizeOnceInReportOrder)
{
    // Colour depths and refresh rates repeat sizes; the first report fixes the order, unsorted.
    Modes modes = {{L"\\\\.\\DISPLAY1",
                    {{800, 600}, {1024, 768}, {800, 600}, {640, 480}, {1024, 768}, {1024, 600}, {640, 480}}}};
    std::vector<QLResolution> list = Build({L"\\\\.\\DISPLAY1"}, modes);
    std::vector<QLResolution> expected = {{800, 600}, {1024, 768}, {640, 480}, {1024, 600}};
    EXPECT_EQ(list, expected);
}

TEST(ResolutionList, DevicesOnceEachButSharedSizesTwice)
{
    Modes modes = {{L"A", {{1920, 1080}, {1280, 720}}}, {L"B", {{1920, 1080}}}, {L"C", {}}};
    // Two monitors on device A count once; device C has no modes; device B repeats 1920*1080.
    std::vector<QLResolution> list = Build({L"A", L"C", L"A", L"B"}, modes);
    std::vector<QLResolution> expected = {{1920, 1080}, {1280, 720}, {1920, 1080}};
    EXPECT_EQ(list, expected);
    EXPECT_TRUE(Build({}, modes).empty());
}

TEST(OptionFiles, ListAndOptionsAreWrittenByteForByte)
{
    ScratchFile list_file(".list.txt");
    ASSERT_TRUE(WritePrintScreenList(list_file.Path(), {{1024, 768}, {1920, 1080}}));
    FILE* f = fopen(list_file.Path(), "rb");
    ASSERT_NE(f, nullptr);
    char bytes[128] = {};
    size_t got = fread(bytes, 1, sizeof(bytes), f);
    fclose(f);
    EXPECT_EQ(std::string(bytes, got), "1\t1024\t768\r\n2\t1920\t1080\r\n");

    EXPECT_EQ(FormatLaunchOptions(1, 3), "1\r\n3");
    EXPECT_EQ(FormatLaunchOptions(0, 0), "0\r\n0");
    ScratchFile options(".opt");
    ASSERT_TRUE(WriteLaunchOptions(options.Path(), 0, 12));
    EXPECT_EQ(ReadSavedResolutionNumber(options.Path()), 12);
}

TEST(OptionFiles, SavedResolutionIsTheSecondNumberOrWhatThereIs)
{
    ScratchFile options(".opt");
    EXPECT_EQ(ReadSavedResolutionNumber(options.Path()), 0);  // missing
    EXPECT_EQ(ReadSavedResolutionNumber(options.Write("1\r\n3")), 3);
    EXPECT_EQ(ReadSavedResolutionNumber(options.Write("0 7 9")), 7);
    EXPECT_EQ(ReadSavedResolutionNumber(options.Write("5")), 5);
    EXPECT_EQ(ReadSavedResolutionNumber(options.Write("1\r\nx")), 1);
    EXPECT_EQ(ReadSavedResolutionNumber(options.Write("junk")), 0);
    EXPECT_EQ(ReadSavedResolutionNumber(options.Write("")), 0);
}

}  // namespace
