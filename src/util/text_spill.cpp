#include "util/text_spill.h"

#include "util/file_io.h"
#include "util/write_gate.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>

namespace kestrava::util {

TextSpill::TextSpill() {
    const char* folder = std::getenv("TMPDIR");
    if (folder == nullptr || *folder == '\0')
        folder = "/tmp";
    GatedFolder temporary;
    if (openRootFolder(folder, temporary))
        m_file.reset(temporary.openUnnamed());
}

void TextSpill::append(std::string_view text) {
    int error = 0;
    if (m_held.empty() && m_file.isOpen() && writeAll(m_file.get(), text, error)) {
        m_fileSize += static_cast<int64_t>(text.size());
        return;
    }
    m_held += text; // a partial write is read back only up to m_fileSize, so the text stays whole
}

bool TextSpill::writeTo(const std::function<void(std::string_view)>& write) const {
    std::string block;
    for (int64_t at = 0; at < m_fileSize;) {
        int error = 0;
        const auto length = static_cast<size_t>(std::min<int64_t>(m_fileSize - at, 1 << 20));
        block.resize(length);
        if (readRange(m_file.get(), at, length, block.data(), error) !=
            static_cast<int64_t>(length))
            return false;
        write(block);
        at += static_cast<int64_t>(length);
    }
    if (!m_held.empty())
        write(m_held);
    return true;
}

} // namespace kestrava::util
