// Reads simple patterns ("\b\w+_t\b", "[a-z]+ing") far enough to know a text every match must
// contain and the bytes no match can contain. Anything outside the small grammar
// below gives no plan, and the engine searches alone.
#include "internal/pattern_internals.h"

#include <bitset>

namespace kestrava::regex {

namespace {

using ByteSet = std::bitset<256>;

// Under these options the grammar below means what it says (built-in tables: \w, \d, \s and
// caseless folding are ASCII).
constexpr int32_t kPlannableFlags = PCRE_CASELESS | PCRE_DOTALL | PCRE_MULTILINE |
                                    PCRE_DOLLAR_ENDONLY | PCRE_UNGREEDY | PCRE_NO_AUTO_CAPTURE |
                                    PCRE_EXTRA | PCRE_NO_UTF8_CHECK;

ByteSet setOf(bool (*test)(unsigned char)) {
    ByteSet set;
    for (unsigned c = 0; c < 256; ++c)
        set[c] = test(static_cast<unsigned char>(c));
    return set;
}
// ASCII only, whatever the process locale: the built-in tables know nothing else.
bool isDigitByte(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool isAlnumByte(unsigned char c) {
    return isDigitByte(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isWordByte(unsigned char c) {
    return isAlnumByte(c) || c == '_';
}
bool isSpaceByte(unsigned char c) { // what the engine's \s means, vertical tab included
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One step of the pattern: a byte set it consumes, or a zero-width word-boundary test.
struct Atom {
    ByteSet bytes;
    bool zeroWidth = false;
    bool literal = false; // exactly one byte (or one letter in both cases, when caseless)
    char byte = 0;
};

class Planner {
  public:
    Planner(std::string_view pattern, bool dotAll) : m_text(pattern), m_dotAll(dotAll) {}

    // False when the pattern leaves the grammar.
    bool run() {
        while (m_pos < m_text.size()) {
            Atom atom;
            if (!readAtom(atom))
                return false;
            size_t minimum = 1;
            bool quantified = false;
            if (!readQuantifier(minimum, quantified))
                return false;
            if (quantified && atom.zeroWidth)
                return false;
            if (!atom.zeroWidth)
                m_consumed |= atom.bytes;
            addToRun(atom, quantified, minimum);
        }
        return true;
    }

    const std::string& required() const { return m_best; }
    // The bytes some step of the pattern consumes, as written (before any case folding).
    const ByteSet& consumed() const { return m_consumed; }

  private:
    bool readAtom(Atom& atom) {
        const char c = m_text[m_pos++];
        switch (c) {
        case '\\':
            return readEscape(atom.bytes, atom, true);
        case '[':
            return readClass(atom.bytes);
        case '.':
            atom.bytes.set();
            atom.bytes['\n'] = m_dotAll;
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
            setLiteral(atom, c);
            return true;
        }
    }

    static void setLiteral(Atom& atom, char c) {
        atom.bytes[static_cast<unsigned char>(c)] = true;
        atom.literal = true;
        atom.byte = c;
    }

    // After a backslash. Outside a class \b and \B are word-boundary tests.
    bool readEscape(ByteSet& set, Atom& atom, bool outsideClass) {
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos++];
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case 'w':
            set |= setOf(isWordByte);
            return true;
        case 'W':
            set |= ~setOf(isWordByte);
            return true;
        case 'd':
            set |= setOf(isDigitByte);
            return true;
        case 'D':
            set |= ~setOf(isDigitByte);
            return true;
        case 's':
            set |= setOf(isSpaceByte);
            return true;
        case 'S':
            set |= ~setOf(isSpaceByte);
            return true;
        case 't':
            set['\t'] = true;
            return true;
        case 'n':
            set['\n'] = true;
            return true;
        case 'b':
        case 'B':
            atom.zeroWidth = outsideClass;
            return outsideClass;
        default:
            // A backslash before punctuation means the character itself.
            if (u >= 0x80 || isAlnumByte(u) || u <= ' ')
                return false;
            if (outsideClass)
                setLiteral(atom, c);
            else
                set[u] = true;
            return true;
        }
    }

    // After "[": single bytes, ranges and the escapes above; POSIX names are not read.
    bool readClass(ByteSet& set) {
        const bool negated = m_pos < m_text.size() && m_text[m_pos] == '^';
        m_pos += negated ? 1 : 0;
        ByteSet inside;
        bool first = true;
        while (m_pos < m_text.size() && (m_text[m_pos] != ']' || first)) {
            first = false;
            Atom ignored;
            if (m_text[m_pos] == '[')
                return false;
            if (m_text[m_pos] == '\\') {
                ++m_pos;
                if (!readEscape(inside, ignored, false))
                    return false;
                continue;
            }
            const auto from = static_cast<unsigned char>(m_text[m_pos++]);
            if (m_pos + 1 < m_text.size() && m_text[m_pos] == '-' && m_text[m_pos + 1] != ']') {
                const auto to = static_cast<unsigned char>(m_text[m_pos + 1]);
                if (to == '\\' || to == '[' || to < from)
                    return false;
                m_pos += 2;
                for (unsigned b = from; b <= to; ++b)
                    inside[b] = true;
            } else {
                inside[from] = true;
            }
        }
        if (m_pos >= m_text.size())
            return false;
        ++m_pos; // the closing bracket
        set = negated ? ~inside : inside;
        return true;
    }

    // Reads an optional quantifier with its lazy or possessive mark.
    bool readQuantifier(size_t& minimum, bool& quantified) {
        if (m_pos >= m_text.size())
            return true;
        const char c = m_text[m_pos];
        if (c == '*' || c == '?' || c == '+') {
            minimum = c == '+' ? 1 : 0;
            ++m_pos;
        } else if (c == '{') {
            return false; // a counted repeat, or a literal brace: either way, not planned
        } else {
            return true;
        }
        quantified = true;
        if (m_pos < m_text.size() && (m_text[m_pos] == '?' || m_text[m_pos] == '+'))
            ++m_pos;
        return true;
    }

    // Keeps the longest run of single literal bytes that every match passes through in order.
    void addToRun(const Atom& atom, bool quantified, size_t minimum) {
        if (atom.zeroWidth)
            return; // consumes nothing: the bytes on either side stay next to each other
        if (!atom.literal || (quantified && minimum == 0)) {
            m_run.clear();
            return;
        }
        m_run += atom.byte;
        if (m_run.size() > m_best.size())
            m_best = m_run;
        if (quantified) // "xa+y": "xa" and "ay" are in every match, "xay" need not be
            m_run.assign(1, atom.byte);
    }

    std::string_view m_text;
    bool m_dotAll;
    size_t m_pos = 0;
    ByteSet m_consumed;
    std::string m_run;
    std::string m_best;
};

// Caseless matching lets each ASCII letter stand for both its cases.
ByteSet foldCase(ByteSet set) {
    for (unsigned c = 'a'; c <= 'z'; ++c) {
        const bool either = set[c] || set[c - 'a' + 'A'];
        set[c] = either;
        set[c - 'a' + 'A'] = either;
    }
    return set;
}

} // namespace

RequiredText planRequiredText(const std::string& pattern, int32_t flags, PatternLanguage language) {
    // The library reads the pattern up to its first NUL.
    const std::string text(pattern.c_str());
    if (language != PatternLanguage::English || (flags & ~kPlannableFlags) != 0)
        return {};
    Planner planner(text, (flags & PCRE_DOTALL) != 0);
    if (!planner.run() || planner.required().empty())
        return {};
    const bool caseless = (flags & PCRE_CASELESS) != 0;
    return {planner.required(), ~(caseless ? foldCase(planner.consumed()) : planner.consumed())};
}

} // namespace kestrava::regex
