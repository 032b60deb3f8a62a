// Reads simple patterns ("\b\w+_t\b", "[a-z]+ing") far enough to know a text every match must
// contain and the bytes no match can contain. Anything outside the small grammar
// below gives no plan, and the engine searches alone.
#include "regex/ldiRegExInternals.h"

#include <bitset>

namespace kes {

namespace {

using TByteSet = std::bitset<256>;

// Under these options the grammar below means what it says (built-in tables: \w, \d, \s and
// caseless folding are ASCII).
constexpr int32_t kPlannableFlags = PCRE_CASELESS | PCRE_DOTALL | PCRE_MULTILINE |
                                    PCRE_DOLLAR_ENDONLY | PCRE_UNGREEDY | PCRE_NO_AUTO_CAPTURE |
                                    PCRE_EXTRA | PCRE_NO_UTF8_CHECK;

TByteSet SetOf(bool (*test)(unsigned char)) {
    TByteSet set;
    for (unsigned c = 0; c < 256; ++c)
        set[c] = test(static_cast<unsigned char>(c));
    return set;
}
// ASCII only, whatever the process locale: the built-in tables know nothing else.
bool IsDigitByte(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool IsAlnumByte(unsigned char c) {
    return IsDigitByte(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsWordByte(unsigned char c) {
    return IsAlnumByte(c) || c == '_';
}
bool IsSpaceByte(unsigned char c) { // what the engine's \s means, vertical tab included
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One step of the pattern: a byte set it consumes, or a zero-width word-boundary test.
struct TAtom {
    TByteSet Bytes;
    bool ZeroWidth = false;
    bool Literal = false; // exactly one byte (or one letter in both cases, when caseless)
    char Byte = 0;
};

class TPlanner {
  public:
    TPlanner(std::string_view pattern, bool dotAll) : Text_(pattern), DotAll_(dotAll) {}

    // False when the pattern leaves the grammar.
    bool Run() {
        while (Pos_ < Text_.size()) {
            TAtom atom;
            if (!ReadAtom(atom))
                return false;
            size_t minimum = 1;
            bool quantified = false;
            if (!ReadQuantifier(minimum, quantified))
                return false;
            if (quantified && atom.ZeroWidth)
                return false;
            if (!atom.ZeroWidth)
                Consumed_ |= atom.Bytes;
            AddToRun(atom, quantified, minimum);
        }
        return true;
    }

    const std::string& Required() const { return Best_; }
    // The bytes some step of the pattern consumes, as written (before any case folding).
    const TByteSet& Consumed() const { return Consumed_; }

  private:
    bool ReadAtom(TAtom& atom) {
        const char c = Text_[Pos_++];
        switch (c) {
        case '\\':
            return ReadEscape(atom.Bytes, atom, true);
        case '[':
            return ReadClass(atom.Bytes);
        case '.':
            atom.Bytes.set();
            atom.Bytes['\n'] = DotAll_;
            return true;
        case '^':
        case '$':
        case '|':
        case '(':
        case ')':
        case '?':
        case '*':
        case '+':
        case '{':
        case ']':
        case '}':
            return false;
        default:
            SetLiteral(atom, c);
            return true;
        }
    }

    static void SetLiteral(TAtom& atom, char c) {
        atom.Bytes[static_cast<unsigned char>(c)] = true;
        atom.Literal = true;
        atom.Byte = c;
    }

    // After a backslash. Outside a class \b and \B are word-boundary tests.
    bool ReadEscape(TByteSet& set, TAtom& atom, bool outsideClass) {
        if (Pos_ >= Text_.size())
            return false;
        const char c = Text_[Pos_++];
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case 'w':
            set |= SetOf(IsWordByte);
            return true;
        case 'W':
            set |= ~SetOf(IsWordByte);
            return true;
        case 'd':
            set |= SetOf(IsDigitByte);
            return true;
        case 'D':
            set |= ~SetOf(IsDigitByte);
            return true;
        case 's':
            set |= SetOf(IsSpaceByte);
            return true;
        case 'S':
            set |= ~SetOf(IsSpaceByte);
            return true;
        case 't':
            set['\t'] = true;
            return true;
        case 'n':
            set['\n'] = true;
            return true;
        case 'b':
        case 'B':
            atom.ZeroWidth = outsideClass;
            return outsideClass;
        default:
            // A backslash before punctuation means the character itself.
            if (u >= 0x80 || IsAlnumByte(u) || u <= ' ')
                return false;
            if (outsideClass)
                SetLiteral(atom, c);
            else
                set[u] = true;
            return true;
        }
    }

    // After "[": single bytes, ranges and the escapes above; POSIX names are not read.
    bool ReadClass(TByteSet& set) {
        const bool negated = Pos_ < Text_.size() && Text_[Pos_] == '^';
        Pos_ += negated ? 1 : 0;
        TByteSet inside;
        bool first = true;
        while (Pos_ < Text_.size() && (Text_[Pos_] != ']' || first)) {
            first = false;
            TAtom ignored;
            if (Text_[Pos_] == '[')
                return false;
            if (Text_[Pos_] == '\\') {
                ++Pos_;
                if (!ReadEscape(inside, ignored, false))
                    return false;
                continue;
            }
            const auto from = static_cast<unsigned char>(Text_[Pos_++]);
            if (Pos_ + 1 < Text_.size() && Text_[Pos_] == '-' && Text_[Pos_ + 1] != ']') {
                const auto to = static_cast<unsigned char>(Text_[Pos_ + 1]);
                if (to == '\\' || to == '[' || to < from)
                    return false;
                Pos_ += 2;
                for (unsigned b = from; b <= to; ++b)
                    inside[b] = true;
            } else {
                inside[from] = true;
            }
        }
        if (Pos_ >= Text_.size())
            return false;
        ++Pos_; // the closing bracket
        set = negated ? ~inside : inside;
        return true;
    }

    // Reads an optional quantifier with its lazy or possessive mark.
    bool ReadQuantifier(size_t& minimum, bool& quantified) {
        if (Pos_ >= Text_.size())
            return true;
        const char c = Text_[Pos_];
        if (c == '*' || c == '?' || c == '+') {
            minimum = c == '+' ? 1 : 0;
            ++Pos_;
        } else if (c == '{') {
            return false; // a counted repeat, or a literal brace: either way, not planned
        } else {
            return true;
        }
        quantified = true;
        if (Pos_ < Text_.size() && (Text_[Pos_] == '?' || Text_[Pos_] == '+'))
            ++Pos_;
        return true;
    }

    // Keeps the longest run of single literal bytes that every match passes through in order.
    void AddToRun(const TAtom& atom, bool quantified, size_t minimum) {
        if (atom.ZeroWidth)
            return; // consumes nothing: the bytes on either side stay next to each other
        if (!atom.Literal || (quantified && minimum == 0)) {
            Run_.clear();
            return;
        }
        Run_ += atom.Byte;
        if (Run_.size() > Best_.size())
            Best_ = Run_;
        if (quantified) // "xa+y": "xa" and "ay" are in every match, "xay" need not be
            Run_.assign(1, atom.Byte);
    }

    std::string_view Text_;
    bool DotAll_;
    size_t Pos_ = 0;
    TByteSet Consumed_;
    std::string Run_;
    std::string Best_;
};

// Caseless matching lets each ASCII letter stand for both its cases.
TByteSet FoldCase(TByteSet set) {
    for (unsigned c = 'a'; c <= 'z'; ++c) {
        const bool either = set[c] || set[c - 'a' + 'A'];
        set[c] = either;
        set[c - 'a' + 'A'] = either;
    }
    return set;
}

} // namespace

TRequiredText PlanRequiredText(const std::string& pattern, int32_t flags,
                               TPatternLanguage language) {
    // The library reads the pattern up to its first NUL.
    const std::string text(pattern.c_str());
    if (language != laEnglish || (flags & ~kPlannableFlags) != 0)
        return {};
    TPlanner planner(text, (flags & PCRE_DOTALL) != 0);
    if (!planner.Run() || planner.Required().empty())
        return {};
    const bool caseless = (flags & PCRE_CASELESS) != 0;
    return {planner.Required(), ~(caseless ? FoldCase(planner.Consumed()) : planner.Consumed())};
}

} // namespace kes
