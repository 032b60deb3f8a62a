// Case-insensitive comparison of match texts in the user's language, by ICU collation keys.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace kestrava::results {

class MatchCollator {
  public:
    // The collator of the locale named by LC_ALL, LC_COLLATE or LANG (root for C and POSIX),
    // at secondary strength: letter case is ignored, accents are not.
    MatchCollator();
    explicit MatchCollator(const std::string& localeName);
    ~MatchCollator();
    MatchCollator(const MatchCollator&) = delete;
    MatchCollator& operator=(const MatchCollator&) = delete;

    // A key whose byte order is the collation order; equal keys mean equal texts. The bytes are
    // read as UTF-8 when valid, else as Latin-1.
    std::string sortKey(std::string_view text);
    // The same key, in a buffer of the collator's that the next call reuses.
    std::string_view sortKeyView(std::string_view text);

  private:
    struct Closer {
        void operator()(UCollator* collator) const;
    };
    std::unique_ptr<UCollator, Closer> m_collator;
    std::u16string m_wide;
    std::string m_key;
};

// The ICU locale for a POSIX locale name: "de_DE.UTF-8@euro" gives "de_DE"; "", "C" and
// "POSIX" give the root locale "".
std::string icuLocaleName(const std::string& posixName);
// The locale the user's collation follows: LC_ALL, else LC_COLLATE, else LANG.
std::string userCollationLocale();

} // namespace kestrava::results
