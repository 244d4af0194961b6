// The output writer on its own, with temporary names a test can predict: a
// link at a name it tries is never written through, and a cleanup running
// beside it never takes a live temporary.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "d88cut/output_file.h"
#include "testsupport/d88_fixture.h"
#include "testsupport/tool_runner.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPlantedLinks = 5;

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(scratch.path() / "out");
        ASSERT_TRUE(writeBytes(scratch.file("target"), Bytes(3, 7)));
    }

    fs::path out() const { return scratch.path() / "out"; }

    void plantLinkAt(const std::string& temporaryName) const
    {
        std::error_code ignored;  // planted already
        fs::create_symlink(scratch.path() / "target", out() / temporaryName, ignored);
    }

    void expectTargetUntouched() const
    {
        Bytes bytes;
        ASSERT_TRUE(readBytes(scratch.file("target"), bytes));
        EXPECT_EQ(bytes, Bytes(3, 7));
    }

    void expectWritten(const std::string& name, const Bytes& content) const
    {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out() / name))) << name;
        Bytes bytes;
        ASSERT_TRUE(readBytes((out() / name).string(), bytes)) << name;
        EXPECT_EQ(bytes, content);
    }

    ScratchDirectory scratch;
};

TEST_F(OutputFileTest, LinksAtTheTemporaryNamesAreNeverWrittenThrough)
{
    // Planted before the write, and planted by the name source itself at the
    // very name it is about to hand out: the moment between choosing a free
    // name and opening it that a neighbour could use.
    struct Case {
        const char* when;
        bool plantWhenNamed;
    };
    for (const Case c : {Case{"before", false}, Case{"while naming", true}}) {
        SCOPED_TRACE(c.when);
        uint64_t next = 0;
        OutputDirectory directory(out(), [&] {
            ++next;
            if (c.plantWhenNamed && next <= kPlantedLinks) {
                plantLinkAt(OutputDirectory::temporaryName("MUSDRV", next));
            }
            return next;
        });
        if (!c.plantWhenNamed) {
            for (uint64_t token = 1; token <= kPlantedLinks; ++token) {
                plantLinkAt(OutputDirectory::temporaryName("MUSDRV", token));
            }
        }
        const Bytes content(3840, static_cast<uint8_t>(c.plantWhenNamed ? 0x11 : 0x22));
        const OutputResult result = directory.write("MUSDRV", content.data(), content.size(), scratch.path() / "in");
        EXPECT_EQ(result.outcome, OutputOutcome::Written) << result.reason;
        EXPECT_EQ(next, uint64_t{kPlantedLinks + 1});
        expectWritten("MUSDRV", content);
        expectTargetUntouched();
    }
}

TEST_F(OutputFileTest, NoFreeNameFailsAndKeepsTheOldFile)
{
    ASSERT_TRUE(writeBytes((out() / "MUS100").string(), Bytes(4, 4)));
    plantLinkAt(OutputDirectory::temporaryName("MUS100", 42));
    OutputDirectory directory(out(), [] { return uint64_t{42}; });
    const Bytes content(512, 1);
    const OutputResult result = directory.write("MUS100", content.data(), content.size(), scratch.path() / "in");
    EXPECT_EQ(result.outcome, OutputOutcome::Failed);
    EXPECT_EQ(result.reason, std::strerror(EEXIST));
    expectWritten("MUS100", Bytes(4, 4));
    expectTargetUntouched();
}

TEST_F(OutputFileTest, TheInputIsRecognisedUnderTheDirectorysName)
{
    // The input reached through another spelling of its folder.
    const Bytes image(100, 9);
    ASSERT_TRUE(writeBytes((out() / "MUSDRV").string(), image));
    OutputDirectory directory(scratch.path() / "." / "out");
    const Bytes content(3840, 1);
    const OutputResult result = directory.write("MUSDRV", content.data(), content.size(), out() / ".." / "out" / "MUSDRV");
    EXPECT_EQ(result.outcome, OutputOutcome::IsInput);
    EXPECT_STREQ(outputOutcomeName(result.outcome), "is-input");
    expectWritten("MUSDRV", image);
    EXPECT_EQ(std::distance(fs::directory_iterator(out()), fs::directory_iterator()), 1);
}

TEST_F(OutputFileTest, CleanupBesideLiveWritesNeverTakesTheirTemporaries)
{
    std::atomic<bool> writing{true};
    int removed = 0;
    std::thread cleaner([&] {
        const OutputDirectory directory(out());
        while (writing) {
            removed += directory.removeDeadTemporaries({"MUSDRV"}, scratch.path() / "in");
        }
    });
    OutputDirectory directory(out());
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
        const Bytes content(3840, static_cast<uint8_t>(round));
        const OutputResult result = directory.write("MUSDRV", content.data(), content.size(), scratch.path() / "in");
        if (result.outcome != OutputOutcome::Written) {
            ++failures;
            ADD_FAILURE() << "round " << round << ": " << result.reason;
        }
        if (round % 50 == 0) {
            expectWritten("MUSDRV", content);
        }
    }
    writing = false;
    cleaner.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(out()), fs::directory_iterator()), 1);
    std::cout << "[          ] the cleanup removed " << removed << " temporaries caught before their lock\n";
}

}  // namespace
