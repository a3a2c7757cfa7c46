// The output file: created when missing, appended to when it exists.
#include "output_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture_state.h"
#include "netgrab.h"
#include "test_util.h"
#include "text_rules.h"
#include "trace.h"

using namespace netgrab;

namespace {

class OutputFileTest : public ::testing::Test, protected testutil::OwnCapture
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/netgrab-output-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        base_ = dir_ + "/rec";
        copyText(ctx.outputBase, sizeof ctx.outputBase, base_.c_str());
        copyText(ctx.requestedAddress, sizeof ctx.requestedAddress, "http://127.0.0.1/live");
        shared().lastError = 0;
        setTraceSink([this](const std::string &t) { traces_.push_back(t); });
    }
    void TearDown() override
    {
        closeOutput(ctx.output);
        setTraceSink({});
        std::remove((base_ + ".wma").c_str());
        std::remove((base_ + ".mp3").c_str());
        rmdir(dir_.c_str());
    }
    void writeFile(const std::string &name, const std::string &bytes)
    {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    std::string readFile(const std::string &name)
    {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string dir_, base_;
    std::vector<std::string> traces_;
};

TEST_F(OutputFileTest, MissingFileIsCreated)
{
    ctx.output.appendMode = 1;
    ASSERT_EQ(openOutput(ctx, ".wma"), 1);
    EXPECT_EQ(ctx.output.appendMode, 0);
    EXPECT_TRUE(writeOutput(ctx, "ASF", 3));
    closeOutput(ctx.output);
    EXPECT_EQ(readFile(base_ + ".wma"), "ASF");
    ASSERT_EQ(traces_.size(), 1u);
    EXPECT_EQ(traces_[0], "http://127.0.0.1/live append file!! [" + base_ + ".wma] new file\n");
}

TEST_F(OutputFileTest, EmptyFileIsNotAnAppend)
{
    writeFile(base_ + ".mp3", "");
    ctx.output.appendMode = 1;
    ASSERT_EQ(openOutput(ctx, ".mp3"), 1);
    EXPECT_EQ(ctx.output.appendMode, 0);
}

TEST_F(OutputFileTest, FileWithDataIsAppendedTo)
{
    writeFile(base_ + ".mp3", "0123456789");
    ASSERT_EQ(openOutput(ctx, ".mp3"), 1);
    EXPECT_EQ(ctx.output.appendMode, 1);
    EXPECT_TRUE(writeOutput(ctx, "abc", 3));
    // A second attempt opens the same file and appends again.
    ASSERT_EQ(openOutput(ctx, ".mp3"), 1);
    EXPECT_TRUE(writeOutput(ctx, "def", 3));
    closeOutput(ctx.output);
    EXPECT_EQ(readFile(base_ + ".mp3"), "0123456789abcdef");
    ASSERT_EQ(traces_.size(), 2u);
    EXPECT_EQ(traces_[0], "http://127.0.0.1/live append file!! [" + base_ + ".mp3]   10  seek = 0");
    EXPECT_EQ(traces_[1], "http://127.0.0.1/live append file!! [" + base_ + ".mp3]   13  seek = 0");
}

TEST_F(OutputFileTest, UnopenableFileSetsTheErrorCode)
{
    copyText(ctx.outputBase, sizeof ctx.outputBase, (dir_ + "/missing-dir/rec").c_str());
    EXPECT_EQ(openOutput(ctx, ".wma"), 0);
    EXPECT_EQ(shared().lastError, NG_ERR_FILE_OPEN);
    EXPECT_EQ(ctx.output.file, nullptr);
    EXPECT_FALSE(writeOutput(ctx, "x", 1));
}

TEST_F(OutputFileTest, CloseTwiceIsHarmless)
{
    ASSERT_EQ(openOutput(ctx, ".wma"), 1);
    closeOutput(ctx.output);
    closeOutput(ctx.output);
    EXPECT_EQ(ctx.output.file, nullptr);
}

}  // namespace
