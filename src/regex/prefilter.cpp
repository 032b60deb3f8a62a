// Reads simple patterns ("\b\w+_t\b", "[a-z]+ing", "\b(?:[A-Z][a-z]+){3}\b") far enough to know
// a text every match must contain, the bytes no match can contain, how short a match can be and
// whether it begins at a word boundary. Anything outside the small grammar below gives no plan,
// and the engine searches alone.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <bitset>
#include <vector>

namespace kestrava::regex {

namespace {

using ByteSet = std::bitset<256>;

// Under these options the grammar below means what it says (built-in tables: \w, \d, \s and
// caseless folding are ASCII).
constexpr uint64_t kPlannableFlags = PCRE2_CASELESS | PCRE2_DOTALL | PCRE2_MULTILINE |
                                     PCRE2_DOLLAR_ENDONLY | PCRE2_UNGREEDY | PCRE2_NO_AUTO_CAPTURE |
                                     pcre_api::kStrictEscapes | PCRE2_NO_UTF_CHECK;

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
    bool wordBoundary = false; // \b, not \B
    bool literal = false;      // exactly one byte (or one letter in both cases, when caseless)
    char byte = 0;
};

class Planner {
  public:
    Planner(std::string_view pattern, bool dotAll) : m_text(pattern), m_dotAll(dotAll) {}

    // False when the pattern leaves the grammar.
    bool run() {
        m_wordStart = m_text.starts_with("\\b");
        return readSequence(m_minLength, m_stretches) && m_pos == m_text.size();
    }

    const std::string& required() const { return m_best; }
    // The bytes some step of the pattern consumes, as written (before any case folding).
    const ByteSet& consumed() const { return m_consumed; }
    // The fewest bytes a match consumes.
    uint64_t minLength() const { return m_minLength; }
    // True when the pattern begins with a word-boundary test of its own.
    bool wordStart() const { return m_wordStart; }
    // True when the pattern is \b, then steps that consume one and the same byte set (`sets`,
    // before case folding) and together take any length from the shortest up, then \b. A
    // possessive step gives nothing back, so the others may not get their share.
    bool wordBetweenBoundaries() const {
        return m_wordStart && m_endsWithBoundary && m_zeroWidthSteps == 2 && m_stretches &&
               !m_possessive;
    }
    const std::vector<ByteSet>& sets() const { return m_sets; }

  private:
    // Far more than any text a search is given; a longer minimum is cut to it, which still holds.
    static constexpr uint64_t kLengthCap = uint64_t{1} << 32;

    // Items up to the end of the pattern or of the group it is in; adds their shortest length.
    // `stretches` is set when one item can take any length from its shortest up, and so can the
    // whole sequence.
    bool readSequence(uint64_t& length, bool& stretches) {
        while (m_pos < m_text.size() && m_text[m_pos] != ')') {
            if (!readItem(length, stretches))
                return false;
        }
        return true;
    }

    // One atom or non-capturing group with its quantifier.
    bool readItem(uint64_t& length, bool& stretches) {
        if (m_text.substr(m_pos).starts_with("(?:"))
            return readGroup(length, stretches);
        Atom atom;
        if (!readAtom(atom))
            return false;
        Repeat repeat;
        if (!readQuantifier(repeat))
            return false;
        if (repeat.quantified && atom.zeroWidth)
            return false;
        m_endsWithBoundary = m_depth == 0 && atom.wordBoundary;
        if (atom.zeroWidth) {
            ++m_zeroWidthSteps;
        } else {
            m_consumed |= atom.bytes;
            if (std::find(m_sets.begin(), m_sets.end(), atom.bytes) == m_sets.end())
                m_sets.push_back(atom.bytes);
            length = std::min(length + repeat.minimum, kLengthCap);
            stretches = stretches || repeat.unbounded;
        }
        addToRun(atom, repeat.quantified, repeat.minimum);
        return true;
    }

    // "(?:...)" without alternatives. A text inside is not kept as required, since the group may
    // be optional; the run of literal bytes around it is broken.
    bool readGroup(uint64_t& length, bool& stretches) {
        m_pos += 3;
        m_run.clear();
        const std::string best = m_best;
        uint64_t inner = 0;
        bool innerStretches = false;
        ++m_depth;
        if (!readSequence(inner, innerStretches) || m_pos >= m_text.size())
            return false;
        --m_depth;
        ++m_pos; // the closing parenthesis
        m_best = best;
        m_run.clear();
        m_endsWithBoundary = false;
        Repeat repeat;
        if (!readQuantifier(repeat))
            return false;
        length = std::min(length + inner * repeat.minimum, kLengthCap);
        // n or more copies of "any length from `inner` up" take any length from n * inner up;
        // no copies leave a gap below `inner` unless it is at most one.
        stretches = stretches || (innerStretches && (repeat.minimum > 0 || inner <= 1));
        return true;
    }

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
            atom.wordBoundary = c == 'b';
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

    // An item's quantifier: how many times at least, and whether there is no most.
    struct Repeat {
        size_t minimum = 1;
        bool quantified = false;
        bool unbounded = false;
    };

    // Reads an optional quantifier with its lazy or possessive mark.
    bool readQuantifier(Repeat& repeat) {
        if (m_pos >= m_text.size())
            return true;
        const char c = m_text[m_pos];
        if (c == '*' || c == '?' || c == '+') {
            repeat.minimum = c == '+' ? 1 : 0;
            repeat.unbounded = c != '?';
            ++m_pos;
        } else if (c == '{') {
            if (!readCountedRepeat(repeat.minimum, repeat.unbounded))
                return false; // a literal brace, not planned
        } else {
            return true;
        }
        repeat.quantified = true;
        if (m_pos < m_text.size() && (m_text[m_pos] == '?' || m_text[m_pos] == '+')) {
            m_possessive = m_possessive || m_text[m_pos] == '+';
            ++m_pos;
        }
        return true;
    }

    // "{n}", "{n,}" or "{n,m}", as the library takes them; anything else leaves the grammar.
    bool readCountedRepeat(size_t& minimum, bool& unbounded) {
        size_t pos = m_pos + 1;
        size_t upper = 0;
        if (!readNumber(pos, minimum))
            return false;
        if (pos < m_text.size() && m_text[pos] == ',') {
            ++pos;
            unbounded = pos < m_text.size() && m_text[pos] == '}';
            if (!unbounded && (!readNumber(pos, upper) || upper < minimum))
                return false;
        }
        if (pos >= m_text.size() || m_text[pos] != '}')
            return false;
        m_pos = pos + 1;
        return true;
    }

    // Up to five digits, no more than the library's largest repeat.
    bool readNumber(size_t& pos, size_t& value) const {
        const size_t start = pos;
        value = 0;
        while (pos < m_text.size() && pos - start < 5 &&
               isDigitByte(static_cast<unsigned char>(m_text[pos])))
            value = value * 10 + static_cast<size_t>(m_text[pos++] - '0');
        return pos > start && value <= 65535 &&
               (pos >= m_text.size() || !isDigitByte(static_cast<unsigned char>(m_text[pos])));
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
    uint64_t m_minLength = 0;
    bool m_wordStart = false;
    bool m_stretches = false;
    bool m_possessive = false;
    bool m_endsWithBoundary = false; // the last item read at the top level is \b
    int m_zeroWidthSteps = 0;
    size_t m_depth = 0;          // groups open
    std::vector<ByteSet> m_sets; // each set a step consumes, once
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

RequiredText planRequiredText(const std::string& pattern, uint64_t flags,
                              PatternLanguage language) {
    // The library reads the pattern up to its first NUL.
    const std::string text(pattern.c_str());
    if (language != PatternLanguage::English || (flags & ~kPlannableFlags) != 0)
        return {};
    Planner planner(text, (flags & PCRE2_DOTALL) != 0);
    if (!planner.run())
        return {};
    const bool caseless = (flags & PCRE2_CASELESS) != 0;
    const ByteSet consumed = caseless ? foldCase(planner.consumed()) : planner.consumed();
    // A match that starts with \b and consumes word bytes only begins where a run of them does,
    // after a byte that is not one (or at the text's start).
    const bool wordRuns = (consumed & ~setOf(isWordByte)).none();
    const uint32_t wordStartLength =
        planner.wordStart() && wordRuns
            ? static_cast<uint32_t>(std::min<uint64_t>(planner.minLength(), UINT32_MAX))
            : 0;
    if (planner.required().empty() && wordStartLength == 0)
        return {};
    const auto folded = [caseless](const ByteSet& set) { return caseless ? foldCase(set) : set; };
    const bool wholeRuns = wordStartLength > 0 && planner.wordBetweenBoundaries() &&
                           std::all_of(planner.sets().begin(), planner.sets().end(),
                                       [&](const ByteSet& set) { return folded(set) == consumed; });
    return {planner.required(), ~consumed, wordStartLength, wholeRuns};
}

} // namespace kestrava::regex
