// Paths longer than PATH_MAX, opened and examined as open and stat would.
#include "util/long_path.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>

using namespace kestrava::util;

TEST(LongPaths, AreOpenedAndExaminedAsOpenAndStatWouldWithLinksFollowedWhereverTheySit) {
    kestest::TempFolder root;
    // Built relative to folder descriptors since no call takes the full path.
    std::string bottom = root.path().substr(0, root.path().size() - 1);
    UniqueFd folder(::open(root.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::string name = "deep"; bottom.size() <= PATH_MAX; name = std::string(200, 'n')) {
        ASSERT_EQ(::mkdirat(folder.get(), name.c_str(), 0700), 0);
        folder.reset(::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        bottom += "/" + name;
    }
    ASSERT_TRUE(folder.isOpen());
    ASSERT_EQ(::symlinkat((root.path() + "target.txt").c_str(), folder.get(), "link.txt"), 0);
    ASSERT_EQ(::symlinkat(root.path().c_str(), folder.get(), "up"), 0);
    kestest::writeRaw(root.path() + "target.txt", "linked");
    kestest::writeRaw(root.path() + "plain.txt", "x");
    const std::string file = bottom + "/f.txt";
    const std::string top = root.path() + "deep";
    {
        UniqueFd out(openLongPath(file, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        ASSERT_TRUE(out.isOpen()) << std::strerror(errno);
        ASSERT_EQ(::write(out.get(), "deep", 4), 4);
    }
    const struct {
        const char* what;
        std::string path;
        int flags;
        std::string content; // read from it; "" when it fails
        int error;
    } cases[] = {
        {"file", file, O_RDONLY, "deep", 0},
        // A run of slashes counts as one even where the path is cut into stretches.
        {"slashes", top + std::string(PATH_MAX, '/') + file.substr(top.size() + 1), O_RDONLY,
         "deep", 0},
        {"link at the end", bottom + "/link.txt", O_RDONLY, "linked", 0},
        {"link at the end, not followed", bottom + "/link.txt", O_RDONLY | O_NOFOLLOW, "", ELOOP},
        {"folder link", bottom + "/up/target.txt", O_RDONLY, "linked", 0},
        {"empty", "", O_RDONLY, "", ENOENT},
        {"short, missing", root.path() + "missing.txt", O_RDONLY, "", ENOENT},
        {"long, missing", bottom + "/missing.txt", O_RDONLY, "", ENOENT},
        {"missing folder", top + "/missing" + bottom.substr(top.size()), O_RDONLY, "", ENOENT},
        {"file as a folder", root.path() + "plain.txt/" + bottom, O_RDONLY, "", ENOTDIR},
        // One name alone past the limit: no folder walk can shorten it.
        {"long name", root.path() + std::string(PATH_MAX + 10, 'n'), O_RDONLY, "", ENAMETOOLONG},
        {"long last name", bottom + "/" + std::string(NAME_MAX + 1, 'n'), O_RDONLY, "",
         ENAMETOOLONG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        errno = 0;
        UniqueFd in(openLongPath(c.path, c.flags | O_CLOEXEC));
        EXPECT_EQ(in.isOpen() ? 0 : errno, c.error);
        std::string text(64, '\0');
        text.resize(static_cast<size_t>(std::max<ssize_t>(0, ::read(in.get(), text.data(), 64))));
        EXPECT_EQ(text, c.content);
        struct stat info = {};
        errno = 0;
        const bool follow = (c.flags & O_NOFOLLOW) == 0;
        const bool found = statLongPath(c.path, info, follow);
        EXPECT_EQ(found ? 0 : errno, follow ? c.error : 0);
        if (found && follow) {
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_size, static_cast<off_t>(c.content.size()));
        }
        EXPECT_EQ(found && S_ISLNK(info.st_mode), !follow);
    }
    // The mode given is used only with O_CREAT, as with open.
    struct stat info = {};
    ASSERT_TRUE(statLongPath(file, info, true));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}
