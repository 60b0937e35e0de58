#include "common/output_file.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/output_file_testXXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        folder_ = templ;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    std::vector<std::string> names() const {
        std::vector<std::string> found;
        DIR* dir = ::opendir(folder_.c_str());
        while (const dirent* item = ::readdir(dir)) {
            const std::string name = item->d_name;
            if (name != "." && name != "..") found.push_back(name);
        }
        ::closedir(dir);
        return found;
    }

    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void write_file(const std::string& file, const std::string& text) const {
        std::ofstream(file, std::ios::binary) << text;
    }

    std::string folder_;
};

TEST_F(OutputFileTest, NothingReplacesTheEarlierFileUntilCommit) {
    write_file(path("otu.txt"), "earlier\n");
    {
        at::OutputFile out(path("otu.txt"));
        ASSERT_TRUE(out.open());
        out.write(std::string(3 * at::OutputFile::drain_size, 'x'));  // drained to disk already
        EXPECT_EQ(contents(path("otu.txt")), "earlier\n");
        EXPECT_EQ(names().size(), 2u);
        ASSERT_TRUE(out.finish());
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(contents(path("otu.txt")), std::string(3 * at::OutputFile::drain_size, 'x'));
    EXPECT_EQ(names(), std::vector<std::string>{"otu.txt"});
}

TEST_F(OutputFileTest, LargeOutputIsWrittenWholeAndInOrder) {
    // Tens of megabytes, handed to the disk piece by piece as they are
    // written, and the earlier pieces dropped from the page cache on the way:
    // every byte in its place.
    std::string expected;
    {
        at::OutputFile out(path("fullLineage.txt"));
        ASSERT_TRUE(out.open());
        for (int row = 0; row < 2500000; ++row) {
            const std::string text = "lineage " + std::to_string(row) + ";\t";
            out.row(text, std::int64_t{row});
            expected += text + '\t' + std::to_string(row) + '\n';
        }
        ASSERT_TRUE(out.finish());
        ASSERT_TRUE(out.commit());
    }
    ASSERT_GT(expected.size(), std::size_t{48} << 20);
    EXPECT_TRUE(contents(path("fullLineage.txt")) == expected);
}

TEST_F(OutputFileTest, AnUncommittedOutputLeavesNoTraceAndTheEarlierFileStands) {
    write_file(path("otu.txt"), "earlier\n");
    {
        at::OutputFile out(path("otu.txt"));
        ASSERT_TRUE(out.open());
        out.write("half a table");
        ASSERT_TRUE(out.finish());
    }
    EXPECT_EQ(contents(path("otu.txt")), "earlier\n");
    EXPECT_EQ(names(), std::vector<std::string>{"otu.txt"});
}

TEST_F(OutputFileTest, AFolderOfTheSameNameIsRefused) {
    ASSERT_EQ(::mkdir(path("phylum.txt").c_str(), 0777), 0);
    at::OutputFile out(path("phylum.txt"));
    EXPECT_FALSE(out.open());
    EXPECT_FALSE(out.finish());
    EXPECT_FALSE(out.commit());
}

TEST_F(OutputFileTest, AMissingFolderIsRefused) {
    at::OutputFile out(path("no/such/folder/otu.txt"));
    EXPECT_FALSE(out.open());
}

TEST_F(OutputFileTest, AWriteBeyondTheFileSizeLimitFailsTheOutput) {
    // Run in a child so that the limit does not reach the rest of the tests.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        at::install_output_signal_handlers();
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int result = 0;
        {
            at::OutputFile out(path("big.txt"));
            if (!out.open()) ::_exit(2);
            out.write(std::string(2 * at::OutputFile::drain_size, 'y'));
            const bool finished = out.finish();
            const bool committed = out.commit();
            result = !finished && !committed ? 0 : 3;
        }  // the failed output removes its temporary file here
        ::_exit(result);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(names().empty());  // the temporary file was removed
}

TEST_F(OutputFileTest, AnInterruptedRunRemovesItsTemporaryFiles) {
    write_file(path("otu.txt"), "earlier\n");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        at::install_output_signal_handlers();
        at::OutputFile otu(path("otu.txt"));
        at::OutputFile genus(path("genus.txt"));
        if (!otu.open() || !genus.open()) ::_exit(2);
        otu.write(std::string(3 * at::OutputFile::drain_size, 'x'));
        std::raise(SIGINT);  // as Ctrl-C in the middle of writing
        ::_exit(3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_EQ(names(), std::vector<std::string>{"otu.txt"});
    EXPECT_EQ(contents(path("otu.txt")), "earlier\n");
}

TEST_F(OutputFileTest, FilesGetTheUmaskPermissionsNotPrivateOnes) {
    const mode_t old_mask = ::umask(022);
    {
        at::OutputFile out(path("genus.txt"));
        ASSERT_TRUE(out.open());
        ASSERT_TRUE(out.finish());
        ASSERT_TRUE(out.commit());
    }
    ::umask(old_mask);
    struct stat info;
    ASSERT_EQ(::stat(path("genus.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

}  // namespace
