// Case-insensitive comparison of match texts in the user's language, by ICU collation keys.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace kes {

class TMatchCollator {
  public:
    // The collator of the locale named by LC_ALL, LC_COLLATE or LANG (root for C and POSIX),
    // at secondary strength: letter case is ignored, accents are not.
    TMatchCollator();
    explicit TMatchCollator(const std::string& localeName);
    ~TMatchCollator();
    TMatchCollator(const TMatchCollator&) = delete;
    TMatchCollator& operator=(const TMatchCollator&) = delete;

    // A key whose byte order is the collation order; equal keys mean equal texts. The bytes are
    // read as UTF-8 when valid, else as Latin-1.
    std::string SortKey(std::string_view text);
    // The same key, in a buffer of the collator's that the next call reuses.
    std::string_view SortKeyView(std::string_view text);

  private:
    struct TCloser {
        void operator()(UCollator* collator) const;
    };
    std::unique_ptr<UCollator, TCloser> fCollator;
    std::u16string fWide;
    std::string fKey;
};

// The ICU locale for a POSIX locale name: "de_DE.UTF-8@euro" gives "de_DE"; "", "C" and
// "POSIX" give the root locale "".
std::string IcuLocaleName(const std::string& posixName);
// The locale the user's collation follows: LC_ALL, else LC_COLLATE, else LANG.
std::string UserCollationLocale();

} // namespace kes
