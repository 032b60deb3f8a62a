// File texts for searching: large files are mapped, binary ones probed, and a mapped file that
// shrinks under a search gives an error instead of ending the process.
#include "util/file_text.h"
#include "util_test_support.h"

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

namespace kestrava::util {
namespace {

// A file past the size from which files are mapped (by default just past it), its bytes varying
// so that any misplaced page shows.
std::string largeText(size_t size = FileText::kMapFrom + 4097) {
    std::string text(size, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

TEST(FileText, SmallFilesAreReadAndLargeOnesMappedWithTheSameBytes) {
    kestest::TempFolder folder;
    const std::string large = largeText(size_t{24} << 20); // long enough for pages to be let go
    kestest::writeRaw(folder.path() + "large", large);
    kestest::writeRaw(folder.path() + "small", "small text");
    kestest::writeRaw(folder.path() + "empty", "");
    for (const auto& [name, expected, status, mapped] :
         {std::tuple{"large", large, ReadStatus::Read, true},
          std::tuple{"small", std::string("small text"), ReadStatus::Read, false},
          std::tuple{"empty", std::string(), ReadStatus::Empty, false}}) {
        FileText text;
        std::string buffer;
        int error = 0;
        ASSERT_EQ(text.load(folder.path() + name, buffer, error, INT64_MAX), status) << name;
        // Read twice, telling how far the reading has come: pages of a mapped file that were
        // passed and let go read the same when the work goes back to them.
        std::string seen;
        EXPECT_TRUE(text.use([&](std::string_view content) {
            for (int pass = 0; pass < 2; ++pass) {
                seen.clear();
                for (size_t at = 0; at < content.size(); at += 4096) {
                    seen += content.substr(at, 4096);
                    FileText::passed(content.data() + at);
                }
            }
        })) << name;
        EXPECT_TRUE(seen == expected) << name;
        EXPECT_EQ(text.file() != nullptr, mapped) << name;
    }
    // A mapped file leaves the caller's buffer alone: nothing was read into it.
    FileText text;
    std::string buffer = "kept";
    int error = 0;
    text.load(folder.path() + "large", buffer, error, INT64_MAX);
    EXPECT_TRUE(buffer.empty() || buffer.capacity() < FileText::kMapFrom);
}

// With a probe, a NUL among the first bytes ends the reading there; one after them is text.
TEST(FileText, ANulInTheProbedBytesStopsTheReadingAndOneAfterThemDoesNot) {
    constexpr size_t kProbe = 64 << 10;
    kestest::TempFolder folder;
    const auto withNul = [](std::string text, size_t at) {
        text[at] = '\0';
        return text;
    };
    const std::string large = largeText();
    const std::string medium = large.substr(0, 3 * kProbe);
    for (const auto& [name, content, binary, kept] :
         {std::tuple{"late", withNul(medium, kProbe + 10), false, 3 * kProbe},
          std::tuple{"early", withNul(medium, 10), true, kProbe},
          std::tuple{"mapped-early", withNul(large, 10), true, large.size()},
          std::tuple{"mapped-late", withNul(large, kProbe), false, large.size()}}) {
        kestest::writeRaw(folder.path() + name, content);
        FileText text;
        std::string buffer;
        int error = 0;
        ASSERT_EQ(text.load(folder.path() + name, buffer, error, INT64_MAX, nullptr, kProbe),
                  ReadStatus::Read)
            << name;
        EXPECT_EQ(text.binary(), binary) << name;
        std::string seen;
        text.use([&](std::string_view bytes) { seen = bytes; });
        EXPECT_TRUE(seen == content.substr(0, kept)) << name;
    }
}

TEST(FileText, AMappedFileThatShrinksUnderTheWorkIsAnErrorNotACrash) {
    kestest::TempFolder folder;
    const std::string path = folder.path() + "large";
    kestest::writeRaw(path, largeText());
    FileText text;
    std::string buffer;
    int error = 0;
    ASSERT_EQ(text.load(path, buffer, error, INT64_MAX), ReadStatus::Read);
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    size_t pages = 0;
    size_t pagesWithText = 0;
    bool workEnded = false;
    const bool completed = text.use([&](std::string_view content) {
        // Objects of the work are destroyed as usual: it is never jumped out of.
        const std::shared_ptr<void> atEnd(nullptr, [&](void*) { workEnded = true; });
        for (size_t i = 0; i < content.size(); i += 4096, ++pages)
            pagesWithText += static_cast<unsigned char>(content[i]) != 0 ? 1 : 0;
    });
    EXPECT_FALSE(completed);
    EXPECT_TRUE(workEnded);
    EXPECT_EQ(pages, (FileText::kMapFrom + 4097 + 4095) / 4096) << "the work went on to the end";
    EXPECT_EQ(pagesWithText, 1u) << "the lost pages read as zero bytes";
    EXPECT_FALSE(text.use([](std::string_view) {})) << "and stay lost";
    // The guard is gone again afterwards, and a later mapping works as before.
    kestest::writeRaw(path, largeText());
    FileText again;
    ASSERT_EQ(again.load(path, buffer, error, INT64_MAX), ReadStatus::Read);
    EXPECT_TRUE(again.use([](std::string_view) {}));
    // An exception from the work passes through unchanged.
    EXPECT_THROW(again.use([](std::string_view) { throw std::runtime_error("work failed"); }),
                 std::runtime_error);
}

} // namespace
} // namespace kestrava::util
