// A read that fails partway (injected with a preloaded pread) is an error
// for both tools: said once, status 1, and no file made of bytes it cut short.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testsupport/d88_fixture.h"
#include "testsupport/tool_runner.h"

namespace fs = std::filesystem;

namespace {

const std::string kReadError = "read error: Input/output error\n";

// Disk A whose track 19 carries over a mebibyte of extra records, so that
// MUSDRV and PCMDRV lie in the file's first mebibyte and every later
// catalogue file beyond it.
D88ImageBuilder diskWithALongTrack()
{
    D88ImageBuilder disk = standardDisk('A', 0xC3, "LONG");
    for (int i = 0; i < 20; ++i) {
        disk.addSector(19, sectorAt(9, 1, static_cast<uint8_t>(100 + i), Bytes(60000, 0x19)));
    }
    return disk;
}

constexpr long kMebibyte = 1 << 20;

std::string failingFrom(long byte)
{
    return "LD_PRELOAD=" D88CUT_READ_ERROR_SHIM " D88CUT_FAIL_PREAD_FROM=" + std::to_string(byte);
}

class ReadErrorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        disk = diskWithALongTrack();
        ASSERT_TRUE(writeBytes(scratch.file("image.d88"), disk.build()));
    }

    ScratchDirectory scratch;
    D88ImageBuilder disk;
};

TEST_F(ReadErrorTest, FailingFirstReadWritesNothing)
{
    const ToolResult cut = runTool(D88CUT_TOOL, {"image.d88"}, scratch.path(), failingFrom(0));
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.out, "");
    EXPECT_EQ(cut.err, "d88cut: \"image.d88\": " + kReadError);
    EXPECT_FALSE(fs::exists(scratch.path() / "MUSDRV"));

    const ToolResult info = runTool(D88INFO_TOOL, {"image.d88"}, scratch.path(), failingFrom(0));
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "");
    EXPECT_EQ(info.err, "d88info: \"image.d88\": " + kReadError);
}

TEST_F(ReadErrorTest, FailingPartwayStopsTheRunAfterTheWholeFiles)
{
    const ToolResult cut = runTool(D88CUT_TOOL, {"image.d88"}, scratch.path(), failingFrom(kMebibyte));
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err, "d88cut: \"image.d88\": " + kReadError);
    EXPECT_NE(cut.out.find("cutting ... PCMDRV\n"), std::string::npos);
    EXPECT_EQ(cut.out.find("MUS100"), std::string::npos);
    // The files cut before the error are whole; none is made of what it cut short.
    Bytes musdrv;
    ASSERT_TRUE(readBytes(scratch.file("MUSDRV"), musdrv));
    EXPECT_EQ(musdrv.size(), 3840u);
    EXPECT_EQ(Bytes(musdrv.begin(), musdrv.begin() + 256), *disk.sectorData(1, 2));
    for (const char* name : {"MUS100", "ADPCM100", "ADPCM106"}) {
        EXPECT_FALSE(fs::exists(scratch.path() / name)) << name;
    }
    for (const auto& entry : fs::directory_iterator(scratch.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }

    const ToolResult info = runTool(D88INFO_TOOL, {"image.d88"}, scratch.path(), failingFrom(kMebibyte));
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "");
    EXPECT_EQ(info.err, "d88info: \"image.d88\": " + kReadError);
}

TEST_F(ReadErrorTest, WithoutTheFailureTheSameFileCutsWhole)
{
    const ToolResult cut = runTool(D88CUT_TOOL, {"image.d88"}, scratch.path(), "LD_PRELOAD=" D88CUT_READ_ERROR_SHIM);
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.err, "");
    Bytes adpcm;
    ASSERT_TRUE(readBytes(scratch.file("ADPCM106"), adpcm));
    EXPECT_EQ(adpcm.size(), 19712u);
}

}  // namespace
