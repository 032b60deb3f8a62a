// Paths longer than PATH_MAX: opened and examined as open and stat would, links included.
#include "util/ldiFileHandle.h"
#include "util/long_path.h"

#include "UtilTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace kes;

extern char** environ;

namespace {

// A chain of folders whose bottom lies past PATH_MAX, built and removed relative to folder
// descriptors, since no call takes its full path.
class DeepChain {
  public:
    explicit DeepChain(const std::string& root) : top_(root + "deep"), bottom_(top_) {
        TFileHandle folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        Descend(folder, "deep");
        const std::string name(200, 'n');
        while (bottom_.size() <= PATH_MAX) {
            Descend(folder, name);
            bottom_ += "/" + name;
        }
    }
    ~DeepChain() {
        // rm removes relative to descriptors too; started without a shell.
        const char* argv[] = {"rm", "-rf", "--", top_.c_str(), nullptr};
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "rm", nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
            ::waitpid(pid, nullptr, 0);
    }
    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;
    // The bottom folder, without a trailing "/".
    const std::string& Bottom() const { return bottom_; }

  private:
    static void Descend(TFileHandle& folder, const std::string& name) {
        if (::mkdirat(folder.Get(), name.c_str(), 0700) != 0)
            throw std::runtime_error("mkdirat failed");
        folder.Reset(::openat(folder.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.IsOpen())
            throw std::runtime_error("openat failed");
    }

    std::string top_;
    std::string bottom_;
};

std::string ReadAll(int fd) {
    std::string text(64, '\0');
    const ssize_t got = ::read(fd, text.data(), text.size());
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

TEST(LongPaths, AFilePastPathMaxIsCreatedReadAndExamined) {
    kestest::TempFolder root;
    DeepChain chain(root.Path());
    const std::string file = chain.Bottom() + "/f.txt";
    ASSERT_GT(file.size(), size_t{PATH_MAX});
    {
        TFileHandle out(ldiOpenPath(file, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        ASSERT_TRUE(out.IsOpen()) << std::strerror(errno);
        ASSERT_EQ(::write(out.Get(), "deep", 4), 4);
    }
    TFileHandle in(ldiOpenPath(file, O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(in.IsOpen());
    EXPECT_EQ(ReadAll(in.Get()), "deep");
    // A run of slashes counts as one even where the path is cut into stretches.
    const std::string top = root.Path() + "deep";
    const std::string slashes = top + std::string(PATH_MAX, '/') + file.substr(top.size() + 1);
    TFileHandle viaSlashes(ldiOpenPath(slashes, O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(viaSlashes.IsOpen()) << std::strerror(errno);
    EXPECT_EQ(ReadAll(viaSlashes.Get()), "deep");
    struct stat info {};
    ASSERT_TRUE(ldiStatPath(file, info, true));
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_size, 4);
    // The mode given is used only with O_CREAT, as with open.
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// Folder links in a long path are followed wherever they sit, as open follows them; the last
// name is a link only to what the flags say.
TEST(LongPaths, FollowLinksAsOpenAndStatDo) {
    kestest::TempFolder root;
    DeepChain chain(root.Path());
    kestest::WriteRaw(root.Path() + "target.txt", "linked");
    const std::string link = chain.Bottom() + "/link.txt";
    {
        TFileHandle bottom(ldiOpenPath(chain.Bottom(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(bottom.IsOpen());
        const std::string target = root.Path() + "target.txt";
        ASSERT_EQ(::symlinkat(target.c_str(), bottom.Get(), "link.txt"), 0);
        ASSERT_EQ(::symlinkat(root.Path().c_str(), bottom.Get(), "up"), 0);
    }
    TFileHandle viaLink(ldiOpenPath(link, O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(viaLink.IsOpen());
    EXPECT_EQ(ReadAll(viaLink.Get()), "linked");
    EXPECT_EQ(ldiOpenPath(link, O_RDONLY | O_NOFOLLOW | O_CLOEXEC), -1);
    EXPECT_EQ(errno, ELOOP);
    // "up" leads back to the root, so this path is long but names a short one's file.
    TFileHandle throughFolderLink(ldiOpenPath(chain.Bottom() + "/up/target.txt", O_RDONLY));
    ASSERT_TRUE(throughFolderLink.IsOpen());
    EXPECT_EQ(ReadAll(throughFolderLink.Get()), "linked");
    struct stat info {};
    ASSERT_TRUE(ldiStatPath(link, info, false));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_TRUE(ldiStatPath(link, info, true));
    EXPECT_EQ(info.st_size, 6);
}

TEST(LongPaths, FailWithTheErrorOpenWouldGive) {
    kestest::TempFolder root;
    DeepChain chain(root.Path());
    const std::string top = root.Path() + "deep";
    kestest::WriteRaw(root.Path() + "plain.txt", "x");
    const std::pair<std::string, int> cases[] = {
        {"", ENOENT},
        {root.Path() + "missing.txt", ENOENT},
        {chain.Bottom() + "/missing.txt", ENOENT},
        {root.Path() + "deep/missing" + chain.Bottom().substr(top.size()), ENOENT},
        {root.Path() + "plain.txt/" + chain.Bottom(), ENOTDIR},
        // One name alone past the limit: no folder walk can shorten it.
        {root.Path() + std::string(PATH_MAX + 10, 'n'), ENAMETOOLONG},
        {chain.Bottom() + "/" + std::string(NAME_MAX + 1, 'n'), ENAMETOOLONG},
    };
    for (const auto& [path, error] : cases) {
        errno = 0;
        EXPECT_EQ(ldiOpenPath(path, O_RDONLY | O_CLOEXEC), -1) << path.size();
        EXPECT_EQ(errno, error) << path.size();
        struct stat info {};
        errno = 0;
        EXPECT_FALSE(ldiStatPath(path, info, true)) << path.size();
        EXPECT_EQ(errno, error) << path.size();
    }
}

} // namespace
