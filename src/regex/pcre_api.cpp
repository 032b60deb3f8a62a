#include "regex/pcre_api.h"

#include "internal/pattern_internals.h"

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace kestrava::regex::pcre_api {

void CompiledDeleter::operator()(real_pcre* code) const {
    pcre_free(code);
}
void ExtraDeleter::operator()(pcre_extra* extra) const {
    pcre_free_study(extra);
}

namespace {

struct JitStackDeleter {
    void operator()(pcre_jit_stack* stack) const { pcre_jit_stack_free(stack); }
};

// The JIT must not share a stack between threads, so each thread grows its own on first use.
struct ThreadJitStack {
    int32_t maxBytes = kJitStackMax;
    std::unique_ptr<pcre_jit_stack, JitStackDeleter> stack;
};
thread_local ThreadJitStack tJitStack;

pcre_jit_stack* threadJitStackCallback(void*) {
    if (!tJitStack.stack)
        tJitStack.stack.reset(pcre_jit_stack_alloc(kJitStackStart, tJitStack.maxBytes));
    return tJitStack.stack.get(); // null falls back to the library's small machine stack
}

size_t threadStackSize() {
    pthread_attr_t attr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        pthread_attr_getstacksize(&attr, &size);
        pthread_attr_destroy(&attr);
    }
    return size != 0 ? size : size_t{2} * 1024 * 1024;
}

// The interpreter recurses on the C stack once per backtracking level; allow half the thread's
// stack so that a pathological pattern ends with an error rather than a crash.
unsigned long interpreterRecursionLimit() {
    static const long kFrameSize = [] {
        const int rc = pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
        return rc < 0 ? std::max(-rc, 64) : 1024;
    }();
    thread_local const unsigned long kLimit =
        std::max<unsigned long>(threadStackSize() / 2 / static_cast<size_t>(kFrameSize), 1000);
    return kLimit;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// After "(*": the length of "LIMIT_MATCH=d)" or "LIMIT_RECURSION=d)", or 0. The library stops
// reading digits short of an overflow, and then takes the item for no setting at all.
size_t limitVerbLength(std::string_view rest) {
    for (const std::string_view name : {"LIMIT_MATCH=", "LIMIT_RECURSION="}) {
        if (!rest.starts_with(name))
            continue;
        size_t pos = name.size();
        uint32_t value = 0;
        while (pos < rest.size() && isDigit(rest[pos]) && value <= UINT32_MAX / 10 - 1)
            value = value * 10 + static_cast<uint32_t>(rest[pos++] - '0');
        return pos < rest.size() && rest[pos] == ')' ? pos + 1 : 0;
    }
    return 0;
}

// After "(*": the length of an option-setting item the library takes only at the start, or 0.
size_t startVerbLength(std::string_view rest) {
    static constexpr std::string_view kVerbs[] = {
        "UTF8)", "UTF)",  "UCP)", "NO_AUTO_POSSESS)", "NO_START_OPT)", "CR)",
        "LF)",   "CRLF)", "ANY)", "ANYCRLF)",         "BSR_ANYCRLF)",  "BSR_UNICODE)"};
    for (const std::string_view verb : kVerbs)
        if (rest.starts_with(verb))
            return verb.size();
    return limitVerbLength(rest);
}

int runExec(const real_pcre* code, const pcre_extra* extra, const char* subject, uint32_t length,
            uint32_t startOffset, int32_t options, int* ovector, int ovectorSize,
            unsigned long matchLimit) {
    if (length > static_cast<uint32_t>(INT_MAX) || startOffset > length)
        return PCRE_ERROR_BADLENGTH;
    pcre_extra local{};
    if (extra != nullptr)
        local = *extra;
    if ((local.flags & PCRE_EXTRA_MATCH_LIMIT_RECURSION) == 0) {
        local.flags |= PCRE_EXTRA_MATCH_LIMIT_RECURSION;
        local.match_limit_recursion = interpreterRecursionLimit();
    }
    if (matchLimit != 0 &&
        ((local.flags & PCRE_EXTRA_MATCH_LIMIT) == 0 || local.match_limit > matchLimit)) {
        local.flags |= PCRE_EXTRA_MATCH_LIMIT;
        local.match_limit = matchLimit;
    }
    const auto run = [&] {
        return pcre_exec(code, &local, subject, static_cast<int>(length),
                         static_cast<int>(startOffset), options, ovector, ovectorSize);
    };
    int rc = run();
    if (rc == PCRE_ERROR_JIT_STACKLIMIT) {
        local.flags &= ~static_cast<unsigned long>(PCRE_EXTRA_EXECUTABLE_JIT);
        rc = run();
    }
    return rc;
}

thread_local uint32_t tSearchWindow = kSearchWindowBytes;

bool isAnchored(const real_pcre* code, int32_t options) {
    unsigned long compiled = 0;
    pcre_fullinfo(code, nullptr, PCRE_INFO_OPTIONS, &compiled);
    return ((options | static_cast<int32_t>(compiled)) & PCRE_ANCHORED) != 0;
}

// One search as Search makes it without the stop check. Each window holds the text from the
// search's place on; the library's partial matching tells when an attempt needed more of it.
class WindowSearch {
  public:
    WindowSearch(const SearchCode& code, const char* subject, uint32_t length, uint32_t start,
                 int32_t options, int* ovector, int ovectorSize)
        : m_code(code), m_subject(subject), m_length(length), m_start(start), m_options(options),
          m_ovector(ovector), m_ovectorSize(ovectorSize) {}

    // True with the whole text's result in rc; false when Compiled must search on from m_pos.
    bool run(int& rc) {
        for (;;) {
            checkStop();
            const uint32_t end = windowEnd();
            const bool last = end == m_length;
            if (end == m_pos && !last)
                return false;
            rc = runExec(m_code.unchecked, m_code.uncheckedExtra, m_subject, end, m_pos,
                         optionsAt(m_pos) | (last ? 0 : PCRE_PARTIAL_HARD), m_ovector,
                         m_ovectorSize, kWindowMatchLimit);
            // A complete match shows that no attempt before it reached the window's end; one
            // that starts at the end may have been cut short.
            if (rc >= 0)
                return last || static_cast<uint32_t>(m_ovector[0]) < end;
            if (rc == PCRE_ERROR_NOMATCH) {
                if (last || isAnchored(m_code.unchecked, m_options))
                    return true;
                m_pos = end;
            } else if (rc != PCRE_ERROR_PARTIAL) {
                return false; // the window's own step limit, a character cut in two, ...
            } else if (settleAttempt(rc)) {
                return true;
            }
        }
    }

    // Where the windows got to: no match starts before.
    uint32_t pos() const { return m_pos; }

    // An empty match is refused only at the search's own start.
    int32_t optionsAt(uint32_t pos) const {
        return pos == m_start ? m_options : m_options & ~PCRE_NOTEMPTY_ATSTART;
    }

  private:
    // The attempt at m_ovector[2] reached past the window: Anchored makes it alone over the whole
    // text (one attempt ends soon enough). True when that decides the search; else the windows
    // go on after it.
    bool settleAttempt(int& rc) {
        const auto at = static_cast<uint32_t>(m_ovector[2]);
        rc = exec(m_code.anchored, m_code.anchoredExtra, m_subject, m_length, at, optionsAt(at),
                  m_ovector, m_ovectorSize);
        if (rc != PCRE_ERROR_NOMATCH || isAnchored(m_code.unchecked, m_options))
            return true;
        m_pos = nextCharacter(at);
        return m_pos > m_length; // rc is "no match" there
    }

    uint32_t windowEnd() const {
        const uint32_t window = tSearchWindow;
        if (m_length - m_pos <= window)
            return m_length;
        uint32_t end = m_pos + window;
        if (m_code.utf8) // a window holds whole characters
            while (end > m_pos && isContinuation(end))
                --end;
        // "$" and "\Z" match before a line break that ends the subject, and no partial match
        // tells of it: a window must not end right after one.
        while (end < m_length && endsWithLineBreak(end)) {
            ++end;
            while (m_code.utf8 && end < m_length && isContinuation(end))
                ++end;
        }
        return end;
    }

    bool isContinuation(uint32_t pos) const {
        return (static_cast<unsigned char>(m_subject[pos]) & 0xC0) == 0x80;
    }

    // Any line break a pattern may choose ((*ANY) included): LF, VT, FF, CR, NEL, LS, PS.
    bool endsWithLineBreak(uint32_t end) const {
        const auto byte = [this](uint32_t at) { return static_cast<unsigned char>(m_subject[at]); };
        const unsigned char last = byte(end - 1);
        if ((last >= 0x0a && last <= 0x0d) || last == 0x85)
            return true;
        return end - m_pos >= 3 && byte(end - 3) == 0xE2 && byte(end - 2) == 0x80 &&
               (last == 0xA8 || last == 0xA9);
    }

    uint32_t nextCharacter(uint32_t pos) const {
        ++pos;
        if (m_code.utf8)
            while (pos < m_length && (static_cast<unsigned char>(m_subject[pos]) & 0xC0) == 0x80)
                ++pos;
        return pos;
    }

    const SearchCode& m_code;
    const char* m_subject;
    uint32_t m_length;
    uint32_t m_start;
    int32_t m_options;
    int* m_ovector;
    int m_ovectorSize;
    uint32_t m_pos = m_start;
};

} // namespace

constinit thread_local const std::stop_token* tThreadStop = nullptr;
constinit thread_local PassedEvent tThreadPassed = nullptr;
constinit thread_local CopyRequest tThreadCopy = nullptr;

size_t leadingVerbsLength(std::string_view pattern) {
    size_t at = 0;
    while (pattern.substr(at).starts_with("(*")) {
        const size_t length = startVerbLength(pattern.substr(at + 2));
        if (length == 0)
            break;
        at += 2 + length;
    }
    return at;
}

std::string withStopCallOut(std::string_view pattern, size_t at) {
    std::string text;
    text.reserve(pattern.size() + kStopCallOut.size());
    text.append(pattern.substr(0, at)).append(kStopCallOut).append(pattern.substr(at));
    return text;
}

int patternOffset(int offset, size_t at) {
    const auto start = static_cast<int>(at);
    const auto length = static_cast<int>(kStopCallOut.size());
    if (offset <= start)
        return offset;
    return offset < start + length ? start : offset - length;
}

bool isStopCallOut(const pcre_callout_block& block, size_t at) {
    // The library reports where the item after a callout begins; the pattern's own callouts
    // all lie further on.
    return block.callout_number == kStopCallOutNumber &&
           block.pattern_position == static_cast<int>(at + kStopCallOut.size());
}

ExtraPtr newExtra() {
    auto* extra = static_cast<pcre_extra*>(pcre_malloc(sizeof(pcre_extra)));
    if (extra != nullptr)
        std::memset(extra, 0, sizeof(pcre_extra));
    return ExtraPtr(extra);
}

bool jitGivesExactResults(const std::string& pattern, const real_pcre* code) {
    // The JIT of this library version can report a capture left over from an earlier attempt
    // when a possessive quantifier or an atomic group holds captures ("(a+)*+$" on "aaab"); such
    // patterns run on the interpreter, which reports them correctly.
    if (captureCount(code) == 0)
        return true;
    for (const char* risky : {"*+", "++", "?+", "}+", "(?>"})
        if (pattern.find(risky) != std::string::npos)
            return false;
    return true;
}

ExtraPtr study(const real_pcre* code, bool jit, const char*& error, bool forWindows) {
    error = nullptr;
    const int modes =
        PCRE_STUDY_JIT_COMPILE | (forWindows ? PCRE_STUDY_JIT_PARTIAL_HARD_COMPILE : 0);
    ExtraPtr extra(pcre_study(code, jit ? modes : 0, &error));
    if (extra && (extra->flags & PCRE_EXTRA_EXECUTABLE_JIT) != 0)
        pcre_assign_jit_stack(extra.get(), threadJitStackCallback, nullptr);
    return extra;
}

int exec(const real_pcre* code, const pcre_extra* extra, const char* subject, uint32_t length,
         uint32_t startOffset, int32_t options, int* ovector, int ovectorSize) {
    checkStop(); // the library may skip every attempt, and with them the callout
    const int rc =
        runExec(code, extra, subject, length, startOffset, options, ovector, ovectorSize, 0);
    if (rc == kStopped && stopRequested())
        throw RegexStoppedError();
    return rc;
}

bool searchesInWindows(std::string_view pattern) {
    for (const std::string_view item : {"\\G", "(*", "(?C"})
        if (pattern.find(item) != std::string_view::npos)
            return false;
    return true;
}

int search(const SearchCode& code, const char* subject, uint32_t length, uint32_t startOffset,
           int32_t options, int* ovector, int ovectorSize) {
    const bool windows = code.unchecked != nullptr && ovectorSize >= 3 &&
                         length <= static_cast<uint32_t>(INT_MAX) && startOffset <= length;
    if (windows && length - startOffset <= tSearchWindow) {
        // One window holds the rest of the text: only the window's step limit needs Compiled.
        checkStop();
        const int rc = runExec(code.unchecked, code.uncheckedExtra, subject, length, startOffset,
                               options, ovector, ovectorSize, kWindowMatchLimit);
        if (rc != PCRE_ERROR_MATCHLIMIT)
            return rc;
    } else if (windows && (options & PCRE_NOTEOL) == 0 &&
               (!code.utf8 || (options & PCRE_NO_UTF8_CHECK) != 0)) {
        // (NOTEOL makes a window's end a place where "$" fails, not one where more text may
        // come; and the library checks UTF-8 only as far as the window reaches.)
        WindowSearch search{code, subject, length, startOffset, options, ovector, ovectorSize};
        int rc = 0;
        if (search.run(rc))
            return rc;
        return exec(code.compiled, code.extra, subject, length, search.pos(),
                    search.optionsAt(search.pos()), ovector, ovectorSize);
    }
    return exec(code.compiled, code.extra, subject, length, startOffset, options, ovector,
                ovectorSize);
}

int32_t captureCount(const real_pcre* code) {
    int count = 0;
    pcre_fullinfo(code, nullptr, PCRE_INFO_CAPTURECOUNT, &count);
    return count;
}

bool isUtf8(const real_pcre* code) {
    unsigned long options = 0;
    pcre_fullinfo(code, nullptr, PCRE_INFO_OPTIONS, &options);
    return (options & PCRE_UTF8) != 0;
}

int32_t namedGroupNumber(const real_pcre* code, std::string_view name) {
    int count = 0;
    int entrySize = 0;
    const unsigned char* table = nullptr;
    pcre_fullinfo(code, nullptr, PCRE_INFO_NAMECOUNT, &count);
    pcre_fullinfo(code, nullptr, PCRE_INFO_NAMEENTRYSIZE, &entrySize);
    pcre_fullinfo(code, nullptr, PCRE_INFO_NAMETABLE, &table);
    // Entries are sorted by name: a 2-byte big-endian group number, then the name and a zero.
    int low = 0;
    int high = count - 1;
    while (table != nullptr && low <= high) {
        const int mid = (low + high) / 2;
        const unsigned char* entry = table + static_cast<ptrdiff_t>(mid) * entrySize;
        const int cmp = name.compare(reinterpret_cast<const char*>(entry + 2));
        if (cmp == 0)
            return (entry[0] << 8) | entry[1];
        if (cmp < 0)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return 0;
}

void setThreadJitStackLimit(int32_t maxBytes) {
    tJitStack.maxBytes = std::max(maxBytes, kJitStackStart);
    tJitStack.stack.reset();
}

void setThreadSearchWindow(uint32_t bytes) {
    tSearchWindow = bytes != 0 ? bytes : kSearchWindowBytes;
}

} // namespace kestrava::regex::pcre_api

namespace kestrava::regex {

StopScope::StopScope(std::stop_token stop, pcre_api::PassedEvent passed, pcre_api::CopyRequest copy)
    : m_stop(std::move(stop)), m_outer(pcre_api::tThreadStop),
      m_outerPassed(pcre_api::tThreadPassed), m_outerCopy(pcre_api::tThreadCopy) {
    pcre_api::tThreadStop = &m_stop;
    pcre_api::tThreadPassed = passed;
    pcre_api::tThreadCopy = copy;
    forgetCopiedPiece();
}

StopScope::~StopScope() {
    pcre_api::tThreadStop = m_outer;
    pcre_api::tThreadPassed = m_outerPassed;
    pcre_api::tThreadCopy = m_outerCopy;
    forgetCopiedPiece(); // its text may be gone, and another put where it was
}

const char* RegexStoppedError::what() const noexcept {
    return "Matching stopped on request";
}

} // namespace kestrava::regex
