// File texts for searching: large files are mapped, and a mapped file that shrinks under a
// search gives an error instead of ending the process.
#include "UtilTestSupport.h"
#include "util/ldiFileText.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace kes {
namespace {

// A file just past the size from which files are mapped, its bytes varying so that any
// misplaced page shows.
std::string LargeText() {
    std::string text(TFileText::kMapFrom + 4097, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

TEST(FileText, SmallFilesAreReadAndLargeOnesMappedWithTheSameBytes) {
    kestest::TempFolder folder;
    const std::string large = LargeText();
    kestest::WriteRaw(folder.Path() + "large", large);
    kestest::WriteRaw(folder.Path() + "small", "small text");
    kestest::WriteRaw(folder.Path() + "empty", "");
    for (const auto& [name, expected, status] :
         {std::tuple{"large", large, rsRead},
          std::tuple{"small", std::string("small text"), rsRead},
          std::tuple{"empty", std::string(), rsEmpty}}) {
        TFileText text;
        std::string buffer;
        int error = 0;
        ASSERT_EQ(text.Load(folder.Path() + name, buffer, error, INT64_MAX), status) << name;
        std::string seen;
        EXPECT_TRUE(text.Use([&](std::string_view content) { seen = content; })) << name;
        EXPECT_TRUE(seen == expected) << name;
    }
    // A mapped file leaves the caller's buffer alone: nothing was read into it.
    TFileText text;
    std::string buffer = "kept";
    int error = 0;
    text.Load(folder.Path() + "large", buffer, error, INT64_MAX);
    EXPECT_TRUE(buffer.empty() || buffer.capacity() < TFileText::kMapFrom);
}

TEST(FileText, AMappedFileThatShrinksUnderTheWorkIsAnErrorNotACrash) {
    kestest::TempFolder folder;
    const std::string path = folder.Path() + "large";
    kestest::WriteRaw(path, LargeText());
    TFileText text;
    std::string buffer;
    int error = 0;
    ASSERT_EQ(text.Load(path, buffer, error, INT64_MAX), rsRead);
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    size_t touched = 0;
    const bool completed = text.Use([&](std::string_view content) {
        for (size_t i = 0; i < content.size(); i += 4096)
            touched += static_cast<unsigned char>(content[i]) != 0 ? 1 : 0;
    });
    EXPECT_FALSE(completed);
    EXPECT_LT(touched, 2u) << "the work stops at the first lost page";
    // The guard is gone again afterwards, and a later mapping works as before.
    kestest::WriteRaw(path, LargeText());
    TFileText again;
    ASSERT_EQ(again.Load(path, buffer, error, INT64_MAX), rsRead);
    EXPECT_TRUE(again.Use([](std::string_view) {}));
    // An exception from the work passes through unchanged.
    EXPECT_THROW(again.Use([](std::string_view) { throw std::runtime_error("work failed"); }),
                 std::runtime_error);
}

} // namespace
} // namespace kes
