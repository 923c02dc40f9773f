#include "io/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <latch>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/PackError.h"
#include "testing/TempDir.h"

namespace packsmith {

struct OutputFileTestAccess {
    static void ForceNamedTemporary(bool force) { OutputFile::ForceNamedTemporary(force); }
};

namespace {

using test::ReadFileBytes;
using test::TempDir;

// Every name in the directory, hidden ones included.
std::set<std::string> List(const std::string& directory)
{
    std::set<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

std::set<std::string> Visible(const std::set<std::string>& names)
{
    std::set<std::string> visible;
    for (const auto& name : names)
        if (name[0] != '.')
            visible.insert(name);
    return visible;
}

std::size_t OpenFdCount() { return List("/proc/self/fd").size(); }

void Put(OutputFile& file, const std::string& content)
{
    file.Stream().WriteBuffer({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()});
}

// The way the codec library writes a picture: by path, truncating.
void PutThroughPath(OutputFile& file, const std::string& content)
{
    const int fd = ::open(file.WritablePath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0) << file.WritablePath();
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
}

std::string CreateError(const std::function<void()>& action)
{
    try {
        action();
    } catch (const PackError& error) {
        return error.what();
    }
    return "(no error)";
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : saved_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(saved_); }

private:
    mode_t saved_;
};

// Each test runs with the unnamed file and with the hidden temporary name.
class OutputFileTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        OutputFileTestAccess::ForceNamedTemporary(GetParam());
        fds_ = OpenFdCount();
    }
    void TearDown() override
    {
        OutputFileTestAccess::ForceNamedTemporary(false);
        EXPECT_EQ(OpenFdCount(), fds_) << "a descriptor leaked";
    }
    bool Named() const { return GetParam(); }

    TempDir dir_;
    std::size_t fds_ = 0;
};

TEST_P(OutputFileTest, ContentAppearsOnlyAtCommitAndVanishesWithoutIt)
{
    dir_.Write("other", "x");
    dir_.Write("out.bin", "earlier content");
    const auto before = List(dir_.Path());
    for (const std::string name : {"out.bin", "new.bin"}) {
        for (const bool throughPath : {false, true}) {
            SCOPED_TRACE(name + (throughPath ? " through WritablePath" : " through Stream"));
            const std::string content = throughPath ? "written by path" : std::string(70000, 'q') + "end";
            for (const bool commit : {false, true}) {
                {
                    OutputFile file(dir_ / name);
                    throughPath ? PutThroughPath(file, content) : Put(file, content);
                    EXPECT_EQ(file.Stream().Size(), static_cast<std::int64_t>(content.size()));
                    const auto during = List(dir_.Path());
                    if (Named()) {
                        EXPECT_EQ(Visible(during), Visible(before));
                        EXPECT_EQ(during.size(), before.size() + 1);
                    } else {
                        EXPECT_EQ(during, before);
                    }
                    EXPECT_EQ(ReadFileBytes(dir_ / "out.bin"), "earlier content");
                    if (commit)
                        file.Commit();
                }
                auto expected = before;
                if (commit)
                    expected.insert(name);
                EXPECT_EQ(List(dir_.Path()), expected);
                EXPECT_EQ(ReadFileBytes(dir_ / "out.bin"), commit && name == "out.bin" ? content : "earlier content");
            }
            EXPECT_EQ(ReadFileBytes(dir_ / name), content);
            dir_.Write("out.bin", "earlier content");
            ::unlink((dir_ / "new.bin").c_str());
        }
    }
}

TEST_P(OutputFileTest, CommitReplacesAFileAndALinkItself)
{
    TempDir outside;
    const std::string linked = outside.Write("target", "original");
    dir_.Write("plain", "old");
    ASSERT_EQ(::symlink(linked.c_str(), (dir_ / "link").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir_ / "dangling").c_str()), 0);
    const auto before = List(dir_.Path());
    for (const std::string name : {"plain", "link", "dangling", "new"}) {
        SCOPED_TRACE(name);
        OutputFile file(dir_ / name);
        Put(file, "content of " + name);
        file.Commit();
        struct stat info {};
        ASSERT_EQ(::lstat((dir_ / name).c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(ReadFileBytes(dir_ / name), "content of " + name);
    }
    auto expected = before;
    expected.insert("new");
    EXPECT_EQ(List(dir_.Path()), expected);
    EXPECT_EQ(ReadFileBytes(linked), "original");
    EXPECT_EQ(List(outside.Path()), std::set<std::string>{"target"});
    EXPECT_FALSE(test::FileExists(dir_ / "nowhere"));
}

TEST_P(OutputFileTest, PermissionsFollowTheUmask)
{
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        UmaskGuard guard(mask);
        const std::string path = dir_ / ("mask" + std::to_string(mask));
        OutputFile file(path);
        Put(file, "x");
        file.Commit();
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << "umask " << std::oct << mask;
    }
}

TEST_P(OutputFileTest, CommitFreeAndCommitIfFreeNeverTakeAHeldName)
{
    dir_.Write("p0", "first");
    ASSERT_EQ(::symlink("gone", (dir_ / "p1").c_str()), 0);
    const auto numbered = [](unsigned long n) { return "p" + std::to_string(n); };
    for (const std::string expected : {"p2", "p3"}) {
        OutputFile file(dir_ / "ignored");
        Put(file, "for " + expected);
        EXPECT_EQ(file.CommitFree(numbered), dir_ / expected);
        EXPECT_THROW(file.Commit(), std::logic_error);
        EXPECT_THROW(file.Stream(), std::logic_error);
    }
    EXPECT_EQ(ReadFileBytes(dir_ / "p0"), "first");
    char link[16] = {};
    EXPECT_EQ(::readlink((dir_ / "p1").c_str(), link, sizeof link - 1), 4);
    EXPECT_STREQ(link, "gone");
    EXPECT_EQ(ReadFileBytes(dir_ / "p2"), "for p2");
    EXPECT_EQ(ReadFileBytes(dir_ / "p3"), "for p3");

    const auto before = List(dir_.Path());
    for (const std::string taken : {"p0", "p1"}) {
        OutputFile file(dir_ / taken);
        Put(file, "must not land");
        EXPECT_FALSE(file.CommitIfFree());
        EXPECT_THROW(file.CommitIfFree(), std::logic_error);
    }
    EXPECT_EQ(List(dir_.Path()), before);
    EXPECT_EQ(ReadFileBytes(dir_ / "p0"), "first");
    {
        OutputFile file(dir_ / "free");
        Put(file, "landed");
        EXPECT_TRUE(file.CommitIfFree());
    }
    EXPECT_EQ(ReadFileBytes(dir_ / "free"), "landed");

    // A name function that never moves on, or leads out of the directory, ends in an error.
    OutputFile file(dir_ / "ignored");
    unsigned long calls = 0;
    EXPECT_EQ(CreateError([&] { file.CommitFree([&](unsigned long) { return ++calls, "p0"; }); }),
              "Cannot create file " + (dir_ / "p0"));
    EXPECT_EQ(calls, 2u);
    EXPECT_EQ(CreateError([&] { file.CommitFree([](unsigned long n) { return "../p" + std::to_string(n); }); }),
              "Cannot create file " + (dir_ / "../p0"));
}

TEST_P(OutputFileTest, ConcurrentCommitFreeLosesNothing)
{
    constexpr int kPerThread = 500;
    std::latch start(2);
    std::vector<std::string> taken[2];
    std::string failure[2];
    const auto run = [&](int thread) {
        start.arrive_and_wait();
        try {
            for (int i = 0; i < kPerThread; ++i) {
                OutputFile file(dir_ / "out");
                Put(file, std::to_string(thread) + ":" + std::to_string(i));
                taken[thread].push_back(file.CommitFree([](unsigned long n) { return "f" + std::to_string(n); }));
            }
        } catch (const std::exception& error) {
            failure[thread] = error.what();
        }
    };
    std::thread first(run, 0), second(run, 1);
    first.join();
    second.join();
    ASSERT_EQ(failure[0] + failure[1], "");

    std::set<std::string> paths;
    for (int thread = 0; thread < 2; ++thread) {
        ASSERT_EQ(taken[thread].size(), std::size_t{kPerThread});
        for (int i = 0; i < kPerThread; ++i) {
            EXPECT_EQ(ReadFileBytes(taken[thread][i]), std::to_string(thread) + ":" + std::to_string(i));
            paths.insert(taken[thread][i]);
        }
    }
    EXPECT_EQ(paths.size(), std::size_t{2 * kPerThread});
    EXPECT_EQ(List(dir_.Path()).size(), std::size_t{2 * kPerThread}); // f0..f999, no leftovers
    EXPECT_TRUE(test::FileExists(dir_ / "f999"));
}

TEST_P(OutputFileTest, ARefusingDirectoryGivesCannotCreateAndLeavesNothing)
{
    dir_.Write("file.txt", "x");
    ASSERT_EQ(::mkdir((dir_ / "sub").c_str(), 0755), 0);
    const auto before = List(dir_.Path());
    // Each refusal says why; a path too long says which limit it is past.
    std::string deep = dir_.Path();
    while (deep.size() < 5000)
        deep += "/" + std::string(250, 'd');
    deep += "/out.bin";
    const std::string deepLength = std::to_string(deep.size() / 1000) + "," + std::to_string(deep.size() % 1000 + 1000).substr(1);
    const std::pair<std::string, std::string> refused[] = {
        {dir_ / "missing/out.bin", "No such file or directory"},
        {dir_ / "file.txt/out.bin", "a part of the path is not a directory"},
        {dir_ / "sub/", "it is a directory"},
        {dir_ / std::string(300, 'n'), "File name too long: a name in the path has 300 bytes, the system takes 255 at most"},
        {deep, "File name too long: the path has " + deepLength + " bytes, the system takes 4,095 at most"},
    };
    for (const auto& [path, cause] : refused)
        EXPECT_EQ(CreateError([&] { OutputFile file(path); Put(file, "x"); file.Commit(); }),
                  "Cannot create file " + path + " (" + cause + ")");
    {
        OutputFile file(dir_ / "sub");
        Put(file, "x");
        EXPECT_EQ(CreateError([&] { file.Commit(); }), "Cannot create file " + (dir_ / "sub") + " (it is a directory)");
    }
    EXPECT_EQ(List(dir_.Path()), before);

    if (::geteuid() == 0)
        return; // root writes into a read-only directory all the same
    ASSERT_EQ(::chmod((dir_ / "sub").c_str(), 0555), 0);
    EXPECT_EQ(CreateError([&] { OutputFile file(dir_ / "sub/out"); }),
              "Cannot create file " + (dir_ / "sub/out") + " (Permission denied)");
    EXPECT_TRUE(List(dir_ / "sub").empty());
    ::chmod((dir_ / "sub").c_str(), 0755);
}

INSTANTIATE_TEST_SUITE_P(, OutputFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "HiddenName" : "Unnamed"; });

} // namespace
} // namespace packsmith
