// The whole text of a file for searching. Small files are read into a buffer the caller keeps
// from file to file; large ones are mapped, which spares copying them and setting up fresh pages
// (for a file of several hundred megabytes, most of the time a read would take).
#pragma once

#include "util/file_io.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kestrava::util {

class FileText {
  public:
    // Files of this size and more are mapped.
    static constexpr size_t kMapFrom = size_t{16} << 20;

    FileText() = default;
    ~FileText();
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;

    // Reads or maps the file as readWholeRegularFile reads it; `buffer` serves for reading (its
    // front holds the text; see readOpenedFileInto). With `target`, what was opened is told
    // there (see openRegularFile).
    ReadStatus load(const std::string& fileName, std::string& buffer, int& error, int64_t maxSize,
                    ReadTarget* target = nullptr);

    // Runs `work` over the text. A mapped file that another program shrinks meanwhile would
    // end the process with SIGBUS when the lost part is touched; instead `work` is abandoned
    // where it stands (what it allocated is not freed) and the result is false.
    bool use(const std::function<void(std::string_view text)>& work) const;

  private:
    void unmap();
    std::string_view m_text;
    void* m_mapping = nullptr;
    size_t m_mappedSize = 0;
};

} // namespace kestrava::util
