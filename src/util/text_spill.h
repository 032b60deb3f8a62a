// Text set aside outside the process's memory, in an unnamed temporary file, to be handed on
// later in blocks: the rows of a file with very many matches, rendered while it is searched.
#pragma once

#include "util/unique_fd.h"

#include <functional>
#include <string>
#include <string_view>

namespace kestrava::util {

class TextSpill {
  public:
    // In an unnamed file of $TMPDIR (else /tmp), gone once closed; where none can be made or
    // written, the text is held in memory instead, so that nothing is lost.
    TextSpill();
    void append(std::string_view text);
    // Hands the text so far, in order, to `write` about a megabyte at a time; false when the
    // file could not be read back (what it held is then not handed on).
    bool writeTo(const std::function<void(std::string_view)>& write) const;

  private:
    UniqueFd m_file;
    int64_t m_fileSize = 0;
    std::string m_held; // what the file could not take, after what it did
};

} // namespace kestrava::util
