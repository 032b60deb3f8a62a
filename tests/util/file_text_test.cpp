// File texts for searching: large files are mapped, binary ones probed.
#include "util/file_text.h"
#include "util_test_support.h"

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

namespace kestrava::util {
namespace {

// Bytes vary so that any misplaced page shows.
std::string largeText(size_t size = FileText::kMapFrom + 4097) {
    std::string text(size, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

// With a probe, a NUL among the first bytes ends the reading there; one after them is text. A
// mapped file that shrinks under the work is an error, not a crash.
TEST(FileText, FilesAreReadOrMappedWithTheirBytesAndAProbedNulEndsTheReading) {
    constexpr size_t kProbe = 64 << 10;
    const auto withNul = [](std::string text, size_t at) {
        text[at] = '\0';
        return text;
    };
    const std::string large = largeText();
    const std::string medium = large.substr(0, 3 * kProbe);
    const struct {
        const char* name;
        std::string content;
        size_t probe;
        ReadStatus status;
        bool mapped, binary;
        size_t kept;  // how many of its bytes the text holds
        bool shrinks; // to one page, after the load
    } cases[] = {
        // Long enough for passed pages to be let go.
        {"huge", largeText(size_t{24} << 20), 0, ReadStatus::Read, true, false, 24u << 20, false},
        {"small", "small text", 0, ReadStatus::Read, false, false, 10, false},
        {"empty", "", 0, ReadStatus::Empty, false, false, 0, false},
        {"late NUL", withNul(medium, kProbe + 10), kProbe, ReadStatus::Read, false, false,
         3 * kProbe, false},
        {"early NUL", withNul(medium, 10), kProbe, ReadStatus::Read, false, true, kProbe, false},
        {"mapped, early NUL", withNul(large, 10), kProbe, ReadStatus::Read, true, true,
         large.size(), false},
        {"mapped, late NUL", withNul(large, kProbe), kProbe, ReadStatus::Read, true, false,
         large.size(), false},
        {"mapped, shrinks", large, 0, ReadStatus::Read, true, false, 4096, true},
    };
    kestest::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.path() + c.name;
        kestest::writeRaw(path, c.content);
        FileText text;
        std::string buffer = "kept";
        int error = 0;
        ASSERT_EQ(text.load(path, buffer, error, INT64_MAX, nullptr, c.probe), c.status);
        EXPECT_EQ(text.binary(), c.binary);
        EXPECT_EQ(text.file() != nullptr, c.mapped);
        if (c.mapped) { // nothing was read into the caller's buffer
            EXPECT_TRUE(buffer.empty() || buffer.capacity() < FileText::kMapFrom);
        }
        ASSERT_EQ(c.shrinks ? ::truncate(path.c_str(), 4096) : 0, 0);
        // Pages passed and let go read the same when the work goes back to them; the lost pages
        // of a shrunk file read as zero bytes to its end.
        std::string seen;
        int worksEnded = 0;
        EXPECT_EQ(text.use([&](std::string_view content) {
            // Objects of the work are destroyed as usual: it is never jumped out of.
            const std::shared_ptr<void> atEnd(nullptr, [&](void*) { ++worksEnded; });
            for (int pass = 0; pass < 2; ++pass) {
                seen.clear();
                for (size_t at = 0; at < content.size(); at += 4096) {
                    seen += content.substr(at, 4096);
                    FileText::passed(content.data() + at);
                }
            }
        }),
                  !c.shrinks);
        EXPECT_EQ(worksEnded, 1);
        const size_t zeros = c.shrinks ? c.content.size() - c.kept : 0;
        EXPECT_TRUE(seen == c.content.substr(0, c.kept) + std::string(zeros, '\0'));
        EXPECT_EQ(text.use([](std::string_view) {}), !c.shrinks) << "lost pages stay lost";
        EXPECT_THROW(text.use([](std::string_view) { throw std::runtime_error("work failed"); }),
                     std::runtime_error);
    }
}

} // namespace
} // namespace kestrava::util
