#include "results/kes_uCollation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <vector>

namespace kes {

void TMatchCollator::TCloser::operator()(UCollator* collator) const {
    ucol_close(collator);
}

std::string IcuLocaleName(const std::string& posixName) {
    // ICU maps C and POSIX to en_US_POSIX, whose tailoring makes letter case a primary
    // difference; the root collation folds case as intended.
    std::string name = posixName.substr(0, posixName.find_first_of(".@"));
    if (name == "C" || name == "POSIX")
        return {};
    return name;
}

std::string UserCollationLocale() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

TMatchCollator::TMatchCollator() : TMatchCollator(UserCollationLocale()) {}

TMatchCollator::TMatchCollator(const std::string& localeName) {
    UErrorCode status = U_ZERO_ERROR;
    fCollator.reset(ucol_open(IcuLocaleName(localeName).c_str(), &status));
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        fCollator.reset(ucol_open("", &status));
    }
    ucol_setStrength(fCollator.get(), UCOL_SECONDARY);
}

TMatchCollator::~TMatchCollator() = default;

std::string TMatchCollator::SortKey(std::string_view text) {
    return std::string(SortKeyView(text));
}

std::string_view TMatchCollator::SortKeyView(std::string_view text) {
    fWide.resize(text.size());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(fWide.data(), static_cast<int32_t>(fWide.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) { // not UTF-8: every byte is its own Latin-1 character
        length = static_cast<int32_t>(text.size());
        for (size_t i = 0; i < text.size(); ++i)
            fWide[i] = static_cast<unsigned char>(text[i]);
    }
    fKey.resize(std::max(fKey.size(), text.size() * 4 + 16));
    for (;;) {
        const int32_t needed = ucol_getSortKey(fCollator.get(), fWide.data(), length,
                                               reinterpret_cast<uint8_t*>(fKey.data()),
                                               static_cast<int32_t>(fKey.size()));
        if (needed <= static_cast<int32_t>(fKey.size())) // the final zero is not part of the key
            return std::string_view(fKey.data(), static_cast<size_t>(needed > 0 ? needed - 1 : 0));
        fKey.resize(static_cast<size_t>(needed));
    }
}

} // namespace kes
