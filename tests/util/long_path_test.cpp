// Paths longer than PATH_MAX: opened and examined as open and stat would, links included.
#include "util/long_path.h"
#include "util/unique_fd.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace kestrava;
using namespace kestrava::util;

extern char** environ;

namespace {

// A chain of folders whose bottom lies past PATH_MAX, built and removed relative to folder
// descriptors, since no call takes its full path.
class DeepChain {
  public:
    explicit DeepChain(const std::string& root) : m_top(root + "deep"), m_bottom(m_top) {
        UniqueFd folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        descend(folder, "deep");
        const std::string name(200, 'n');
        while (m_bottom.size() <= PATH_MAX) {
            descend(folder, name);
            m_bottom += "/" + name;
        }
    }
    ~DeepChain() {
        // rm removes relative to descriptors too; started without a shell.
        const char* argv[] = {"rm", "-rf", "--", m_top.c_str(), nullptr};
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "rm", nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
            ::waitpid(pid, nullptr, 0);
    }
    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;
    // The bottom folder, without a trailing "/".
    const std::string& bottom() const { return m_bottom; }

  private:
    static void descend(UniqueFd& folder, const std::string& name) {
        if (::mkdirat(folder.get(), name.c_str(), 0700) != 0)
            throw std::runtime_error("mkdirat failed");
        folder.reset(::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.isOpen())
            throw std::runtime_error("openat failed");
    }

    std::string m_top;
    std::string m_bottom;
};

std::string readAll(int fd) {
    std::string text(64, '\0');
    const ssize_t got = ::read(fd, text.data(), text.size());
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

TEST(LongPaths, AFilePastPathMaxIsCreatedReadAndExamined) {
    kestest::TempFolder root;
    DeepChain chain(root.path());
    const std::string file = chain.bottom() + "/f.txt";
    ASSERT_GT(file.size(), size_t{PATH_MAX});
    {
        UniqueFd out(openLongPath(file, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        ASSERT_TRUE(out.isOpen()) << std::strerror(errno);
        ASSERT_EQ(::write(out.get(), "deep", 4), 4);
    }
    UniqueFd in(openLongPath(file, O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(in.isOpen());
    EXPECT_EQ(readAll(in.get()), "deep");
    // A run of slashes counts as one even where the path is cut into stretches.
    const std::string top = root.path() + "deep";
    const std::string slashes = top + std::string(PATH_MAX, '/') + file.substr(top.size() + 1);
    UniqueFd viaSlashes(openLongPath(slashes, O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(viaSlashes.isOpen()) << std::strerror(errno);
    EXPECT_EQ(readAll(viaSlashes.get()), "deep");
    struct stat info = {};
    ASSERT_TRUE(statLongPath(file, info, true));
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_size, 4);
    // The mode given is used only with O_CREAT, as with open.
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// Folder links in a long path are followed wherever they sit, as open follows them; the last
// name is a link only to what the flags say.
TEST(LongPaths, FollowLinksAsOpenAndStatDo) {
    kestest::TempFolder root;
    DeepChain chain(root.path());
    kestest::writeRaw(root.path() + "target.txt", "linked");
    const std::string link = chain.bottom() + "/link.txt";
    {
        UniqueFd bottom(openLongPath(chain.bottom(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(bottom.isOpen());
        const std::string target = root.path() + "target.txt";
        ASSERT_EQ(::symlinkat(target.c_str(), bottom.get(), "link.txt"), 0);
        ASSERT_EQ(::symlinkat(root.path().c_str(), bottom.get(), "up"), 0);
    }
    UniqueFd viaLink(openLongPath(link, O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(viaLink.isOpen());
    EXPECT_EQ(readAll(viaLink.get()), "linked");
    EXPECT_EQ(openLongPath(link, O_RDONLY | O_NOFOLLOW | O_CLOEXEC), -1);
    EXPECT_EQ(errno, ELOOP);
    // "up" leads back to the root, so this path is long but names a short one's file.
    UniqueFd throughFolderLink(openLongPath(chain.bottom() + "/up/target.txt", O_RDONLY));
    ASSERT_TRUE(throughFolderLink.isOpen());
    EXPECT_EQ(readAll(throughFolderLink.get()), "linked");
    struct stat info = {};
    ASSERT_TRUE(statLongPath(link, info, false));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_TRUE(statLongPath(link, info, true));
    EXPECT_EQ(info.st_size, 6);
}

TEST(LongPaths, FailWithTheErrorOpenWouldGive) {
    kestest::TempFolder root;
    DeepChain chain(root.path());
    const std::string top = root.path() + "deep";
    kestest::writeRaw(root.path() + "plain.txt", "x");
    const std::pair<std::string, int> cases[] = {
        {"", ENOENT},
        {root.path() + "missing.txt", ENOENT},
        {chain.bottom() + "/missing.txt", ENOENT},
        {root.path() + "deep/missing" + chain.bottom().substr(top.size()), ENOENT},
        {root.path() + "plain.txt/" + chain.bottom(), ENOTDIR},
        // One name alone past the limit: no folder walk can shorten it.
        {root.path() + std::string(PATH_MAX + 10, 'n'), ENAMETOOLONG},
        {chain.bottom() + "/" + std::string(NAME_MAX + 1, 'n'), ENAMETOOLONG},
    };
    for (const auto& [path, error] : cases) {
        errno = 0;
        EXPECT_EQ(openLongPath(path, O_RDONLY | O_CLOEXEC), -1) << path.size();
        EXPECT_EQ(errno, error) << path.size();
        struct stat info = {};
        errno = 0;
        EXPECT_FALSE(statLongPath(path, info, true)) << path.size();
        EXPECT_EQ(errno, error) << path.size();
    }
}

} // namespace
