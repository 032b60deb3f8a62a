// The whole text of a file for searching. Small files are read into a buffer the caller keeps
// from file to file; large ones are mapped, which spares copying them and setting up fresh pages
// (for a file of several hundred megabytes, most of the time a read would take).
#pragma once

#include "util/file_io.h"
#include "util/unique_fd.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kestrava::util {

// A mapped file held open once its text is let go, to read some of its bytes again: the text of
// a matched line too long to keep while a run goes on.
class FileBytes {
  public:
    explicit FileBytes(int file) : m_file(file) {}
    int descriptor() const { return m_file.get(); }
    // Copies `length` bytes from `offset` into `into`; false when the file no longer holds them.
    bool read(int64_t offset, size_t length, char* into) const;

  private:
    UniqueFd m_file;
};

class FileText {
  public:
    // Files of this size and more are mapped; below it, the buffer a worker keeps stays small.
    static constexpr size_t kMapFrom = size_t{4} << 20;

    FileText() = default;
    ~FileText();
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;

    // Reads or maps the file as readWholeRegularFile reads it; `buffer` serves for reading (its
    // front holds the text; see readOpenedFileInto). With `target`, what was opened is told
    // there (see openRegularFile). With `nulProbe`, a file with a NUL byte among its first
    // nulProbe bytes is taken no further than them, and binary() says so.
    ReadStatus load(const std::string& fileName, std::string& buffer, int& error, int64_t maxSize,
                    ReadTarget* target = nullptr, size_t nulProbe = 0);
    bool binary() const { return m_binary; }
    // The mapped file, open as long as it is held; none for a text read into a buffer.
    std::shared_ptr<const FileBytes> file() const { return m_file; }

    // Runs `work` over the text. A mapped file that another program shrinks meanwhile would
    // end the process with SIGBUS when the lost part is touched; instead that part reads as
    // zero bytes from then on, `work` goes on to its end, and the result is false (as for every
    // later use of this text).
    bool use(const std::function<void(std::string_view text)>& work) const;
    // Told by `work`, on its thread, as it goes on: the text before `at` is not needed again
    // soon. A mapped file's pages behind it go back to the page cache (a later read still finds
    // them) and the next ones are set up, so a large file does not take its whole size in memory.
    static void passed(const char* at);

  private:
    bool guarded(const std::function<void(std::string_view text)>& work, bool windowed) const;
    void unmap();
    std::string_view m_text;
    void* m_mapping = nullptr;
    std::shared_ptr<const FileBytes> m_file; // of a mapped text, for file()
    size_t m_mappedSize = 0;
    bool m_binary = false;
    mutable bool m_lost = false; // the file lost mapped bytes while they were used
};

} // namespace kestrava::util
