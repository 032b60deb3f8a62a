#include "results/collation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <vector>

namespace kestrava::results {

void MatchCollator::Closer::operator()(UCollator* collator) const {
    ucol_close(collator);
}

std::string icuLocaleName(const std::string& posixName) {
    // ICU maps C and POSIX to en_US_POSIX, whose tailoring makes letter case a primary
    // difference; the root collation folds case as intended.
    std::string name = posixName.substr(0, posixName.find_first_of(".@"));
    if (name == "C" || name == "POSIX")
        return {};
    return name;
}

std::string userCollationLocale() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

MatchCollator::MatchCollator() : MatchCollator(userCollationLocale()) {}

MatchCollator::MatchCollator(const std::string& localeName) {
    UErrorCode status = U_ZERO_ERROR;
    m_collator.reset(ucol_open(icuLocaleName(localeName).c_str(), &status));
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        m_collator.reset(ucol_open("", &status));
    }
    ucol_setStrength(m_collator.get(), UCOL_SECONDARY);
}

MatchCollator::~MatchCollator() = default;

std::string MatchCollator::sortKey(std::string_view text) {
    return std::string(sortKeyView(text));
}

std::string_view MatchCollator::sortKeyView(std::string_view text) {
    m_wide.resize(text.size());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(m_wide.data(), static_cast<int32_t>(m_wide.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) { // not UTF-8: every byte is its own Latin-1 character
        length = static_cast<int32_t>(text.size());
        for (size_t i = 0; i < text.size(); ++i)
            m_wide[i] = static_cast<unsigned char>(text[i]);
    }
    m_key.resize(std::max(m_key.size(), text.size() * 4 + 16));
    for (;;) {
        const int32_t needed = ucol_getSortKey(m_collator.get(), m_wide.data(), length,
                                               reinterpret_cast<uint8_t*>(m_key.data()),
                                               static_cast<int32_t>(m_key.size()));
        if (needed <= static_cast<int32_t>(m_key.size())) // the final zero is not part of the key
            return std::string_view(m_key.data(), static_cast<size_t>(needed > 0 ? needed - 1 : 0));
        m_key.resize(static_cast<size_t>(needed));
    }
}

} // namespace kestrava::results
