#include "regex/pcre_api.h"

#include "internal/pattern_internals.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace kestrava::regex::pcre_api {

namespace {

// What the match context's callout is handed: the stop request of the calling thread and the
// receiver of the pattern's own callouts.
struct CallOutTarget {
    const std::stop_token* stop = nullptr;
    const MatchSettings* settings = nullptr;
};

bool isStopCallOut(const pcre2_callout_block& block, size_t at) {
    // The library reports where the item after a callout begins; the pattern's own callouts
    // all lie further on.
    return block.callout_number == kStopCallOutNumber &&
           block.pattern_position == at + kStopCallOut.size();
}

int onCallOut(pcre2_callout_block* block, void* data) {
    const auto& target = *static_cast<const CallOutTarget*>(data);
    if (target.stop != nullptr && target.stop->stop_requested())
        return kStopped;
    const MatchSettings& settings = *target.settings;
    if (settings.callOuts == nullptr || !*settings.callOuts ||
        isStopCallOut(*block, settings.stopCallOutAt))
        return 0;
    // The handler sees positions in the pattern as written.
    pcre2_callout_block own = *block;
    own.pattern_position = patternOffset(own.pattern_position, settings.stopCallOutAt);
    int32_t result = 0;
    (*settings.callOuts)(own, result);
    return result;
}

// The library's per-match state, one set per thread: the JIT must not share a stack between
// threads, and match data and context are written by every match.
class ThreadMatch {
  public:
    ThreadMatch() : m_context(pcre2_match_context_create(nullptr)) {
        pcre2_set_heap_limit(m_context, static_cast<uint32_t>(kHeapLimitKiB));
        pcre2_jit_stack_assign(m_context, &ThreadMatch::jitStack, this);
    }
    ~ThreadMatch() {
        pcre2_match_data_free(m_data);
        pcre2_jit_stack_free(m_stack);
        pcre2_match_context_free(m_context);
    }
    ThreadMatch(const ThreadMatch&) = delete;
    ThreadMatch& operator=(const ThreadMatch&) = delete;

    // Match data with room for at least `pairs` offset pairs; null when out of memory.
    pcre2_match_data* data(uint32_t pairs) {
        if (m_data == nullptr || pcre2_get_ovector_count(m_data) < pairs) {
            pcre2_match_data_free(m_data);
            m_data = pcre2_match_data_create(std::max(pairs, uint32_t{16}), nullptr);
        }
        return m_data;
    }

    // The context set for one match.
    pcre2_match_context* context(const MatchSettings& settings, const CallOutTarget& target) {
        pcre2_set_match_limit(m_context, settings.matchLimit);
        pcre2_set_callout(m_context, &onCallOut, const_cast<CallOutTarget*>(&target));
        return m_context;
    }

    void setJitStackLimit(size_t maxBytes) {
        m_jitMax = std::max(maxBytes, kJitStackStart);
        pcre2_jit_stack_free(m_stack);
        m_stack = nullptr;
    }

  private:
    static pcre2_jit_stack* jitStack(void* data) {
        auto& self = *static_cast<ThreadMatch*>(data);
        if (self.m_stack == nullptr)
            self.m_stack = pcre2_jit_stack_create(kJitStackStart, self.m_jitMax, nullptr);
        return self.m_stack; // null falls back to the library's small machine stack
    }

    pcre2_match_context* m_context;
    pcre2_match_data* m_data = nullptr;
    pcre2_jit_stack* m_stack = nullptr;
    size_t m_jitMax = kJitStackMax;
};

ThreadMatch& threadMatch() {
    thread_local ThreadMatch match;
    return match;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// After "(*": the length of "LIMIT_MATCH=d)" and its kin, or 0. (A malformed one fails the
// compile, whose error is then read off the pattern alone.)
size_t limitVerbLength(std::string_view rest) {
    for (const std::string_view name :
         {"LIMIT_MATCH=", "LIMIT_RECURSION=", "LIMIT_DEPTH=", "LIMIT_HEAP="}) {
        if (!rest.starts_with(name))
            continue;
        size_t pos = name.size();
        while (pos < rest.size() && isDigit(rest[pos]))
            ++pos;
        return pos < rest.size() && rest[pos] == ')' ? pos + 1 : 0;
    }
    return 0;
}

// After "(*": the length of an option-setting item the library takes only at the start, or 0.
size_t startVerbLength(std::string_view rest) {
    static constexpr std::string_view kVerbs[] = {"UTF8)",
                                                  "UTF)",
                                                  "UCP)",
                                                  "NO_AUTO_POSSESS)",
                                                  "NO_START_OPT)",
                                                  "NO_JIT)",
                                                  "NOTEMPTY)",
                                                  "NOTEMPTY_ATSTART)",
                                                  "NO_DOTSTAR_ANCHOR)",
                                                  "CR)",
                                                  "LF)",
                                                  "CRLF)",
                                                  "ANY)",
                                                  "ANYCRLF)",
                                                  "NUL)",
                                                  "BSR_ANYCRLF)",
                                                  "BSR_UNICODE)"};
    for (const std::string_view verb : kVerbs)
        if (rest.starts_with(verb))
            return verb.size();
    return limitVerbLength(rest);
}

// A window's attempts are held to a small step limit, lower than the pattern's own.
MatchSettings windowSettings(const MatchSettings& settings) {
    MatchSettings window = settings;
    window.matchLimit = std::min(settings.matchLimit, kWindowMatchLimit);
    return window;
}

// Copies the library's offsets as pairs of ints; unset groups become -1.
int copyOffsets(int rc, pcre2_match_data* data, int* ovector, int ovectorSize) {
    const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(data);
    const auto room = static_cast<uint32_t>(std::max(ovectorSize / 3, 1));
    const auto value = [](PCRE2_SIZE offset) {
        return offset == PCRE2_UNSET ? -1 : static_cast<int>(offset);
    };
    if (rc == PCRE2_ERROR_PARTIAL) {
        if (ovectorSize >= 2) {
            ovector[0] = value(offsets[0]);
            ovector[1] = value(offsets[1]);
        }
        if (ovectorSize >= 3)
            ovector[2] = value(offsets[0]); // where the cut-short attempt began
        return rc;
    }
    if (rc < 0)
        return rc;
    const uint32_t pairs = rc == 0 ? pcre2_get_ovector_count(data) : static_cast<uint32_t>(rc);
    const uint32_t copied = std::min(pairs, room);
    if (ovectorSize >= 2)
        for (uint32_t i = 0; i < copied * 2; ++i)
            ovector[i] = value(offsets[i]);
    return pairs > room ? 0 : rc;
}

int runExec(const pcre2_code* code, const char* subject, uint32_t length, uint32_t startOffset,
            uint32_t options, int* ovector, int ovectorSize, const MatchSettings& settings) {
    if (length > static_cast<uint32_t>(INT_MAX) || startOffset > length)
        return PCRE2_ERROR_BADOFFSET;
    if (code == nullptr || subject == nullptr)
        return PCRE2_ERROR_NULL;
    ThreadMatch& thread = threadMatch();
    pcre2_match_data* data = thread.data(static_cast<uint32_t>(std::max(ovectorSize / 3, 1)));
    if (data == nullptr)
        return PCRE2_ERROR_NOMEMORY;
    const CallOutTarget target{tThreadStop, &settings};
    pcre2_match_context* context = thread.context(settings, target);
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject);
    int rc = pcre2_match(code, text, length, startOffset, options, data, context);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
        rc = pcre2_match(code, text, length, startOffset, options | PCRE2_NO_JIT, data, context);
    return copyOffsets(rc, data, ovector, ovectorSize);
}

thread_local uint32_t tSearchWindow = kSearchWindowBytes;

bool isAnchored(const pcre2_code* code, uint32_t options) {
    uint32_t compiled = 0;
    pcre2_pattern_info(code, PCRE2_INFO_ALLOPTIONS, &compiled);
    return ((options | compiled) & PCRE2_ANCHORED) != 0;
}

// One search as Search makes it without the stop check. Each window holds the text from the
// search's place on; the library's partial matching tells when an attempt needed more of it.
class WindowSearch {
  public:
    WindowSearch(const SearchCode& code, const char* subject, uint32_t length, uint32_t start,
                 uint32_t options, int* ovector, int ovectorSize)
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
            rc = runExec(m_code.unchecked, m_subject, end, m_pos,
                         optionsAt(m_pos) | (last ? 0 : PCRE2_PARTIAL_HARD), m_ovector,
                         m_ovectorSize, windowSettings(m_code.settings));
            // A complete match shows that no attempt before it reached the window's end; one
            // that starts at the end may have been cut short.
            if (rc >= 0)
                return last || static_cast<uint32_t>(m_ovector[0]) < end;
            if (rc == PCRE2_ERROR_NOMATCH) {
                if (last || isAnchored(m_code.unchecked, m_options))
                    return true;
                m_pos = end;
            } else if (rc != PCRE2_ERROR_PARTIAL) {
                return false; // the window's own step limit, a character cut in two, ...
            } else if (settleAttempt(rc)) {
                return true;
            }
        }
    }

    // Where the windows got to: no match starts before.
    uint32_t pos() const { return m_pos; }

    // An empty match is refused only at the search's own start.
    uint32_t optionsAt(uint32_t pos) const {
        return pos == m_start ? m_options : m_options & ~PCRE2_NOTEMPTY_ATSTART;
    }

  private:
    // The attempt at m_ovector[2] reached past the window: Anchored makes it alone over the whole
    // text (one attempt ends soon enough). True when that decides the search; else the windows
    // go on after it.
    bool settleAttempt(int& rc) {
        const auto at = static_cast<uint32_t>(m_ovector[2]);
        rc = exec(m_code.anchored, m_subject, m_length, at, optionsAt(at), m_ovector, m_ovectorSize,
                  m_code.settings);
        if (rc != PCRE2_ERROR_NOMATCH || isAnchored(m_code.unchecked, m_options))
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
    uint32_t m_options;
    int* m_ovector;
    int m_ovectorSize;
    uint32_t m_pos = m_start;
};

} // namespace

constinit thread_local const std::stop_token* tThreadStop = nullptr;
constinit thread_local PassedEvent tThreadPassed = nullptr;

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

size_t patternOffset(size_t offset, size_t at) {
    if (offset <= at)
        return offset;
    return offset < at + kStopCallOut.size() ? at : offset - kStopCallOut.size();
}

namespace {

using CompileContextPtr =
    std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)>;

CodePtr compileIn(pcre2_compile_context* context, std::string_view text, uint64_t flags,
                  int& errorCode, PCRE2_SIZE& offset) {
    return CodePtr(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                                 static_cast<uint32_t>(flags), &errorCode, &offset, context));
}

} // namespace

CodePtr compile(std::string_view text, uint64_t flags, const unsigned char* tables,
                std::string& error, size_t& errorOffset) {
    const CompileContextPtr context(pcre2_compile_context_create(nullptr),
                                    &pcre2_compile_context_free);
    if (!context) {
        error = "failed to get memory";
        errorOffset = 0;
        return nullptr;
    }
    if (tables != nullptr)
        pcre2_set_character_tables(context.get(), tables);
    int errorCode = 0;
    PCRE2_SIZE offset = 0;
    CodePtr code = compileIn(context.get(), text, flags, errorCode, offset);
    // Without strict escapes an unknown one ("\y", "[\y]") is the character itself; every other
    // fault of an escape ("\" or "\c" at the end, "\k" without a name) stays an error. The
    // library's own option for it takes all of them for characters, so it is asked for only
    // when the strict reading failed on an unknown escape.
    const bool unknownEscape =
        errorCode == PCRE2_ERROR_UNKNOWN_ESCAPE || errorCode == PCRE2_ERROR_ESCAPE_INVALID_IN_CLASS;
    if (!code && unknownEscape && (flags & kStrictEscapes) == 0) {
        pcre2_set_compile_extra_options(context.get(), PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
        code = compileIn(context.get(), text, flags, errorCode, offset);
    }
    if (!code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, sizeof message);
        error = reinterpret_cast<const char*>(message);
        errorOffset = offset;
    }
    return code;
}

bool jitCompile(pcre2_code* code, bool forWindows) {
    const uint32_t modes = PCRE2_JIT_COMPLETE | (forWindows ? PCRE2_JIT_PARTIAL_HARD : 0);
    return pcre2_jit_compile(code, modes) == 0;
}

bool jitGivesExactResults(const std::string& pattern, const pcre2_code* code) {
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

int exec(const pcre2_code* code, const char* subject, uint32_t length, uint32_t startOffset,
         uint32_t options, int* ovector, int ovectorSize, const MatchSettings& settings) {
    checkStop(); // the library may skip every attempt, and with them the callout
    const int rc =
        runExec(code, subject, length, startOffset, options, ovector, ovectorSize, settings);
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
           uint32_t options, int* ovector, int ovectorSize) {
    const bool windows = code.unchecked != nullptr && ovectorSize >= 3 &&
                         length <= static_cast<uint32_t>(INT_MAX) && startOffset <= length;
    if (windows && length - startOffset <= tSearchWindow) {
        // One window holds the rest of the text: only the window's step limit needs Compiled.
        checkStop();
        const int rc = runExec(code.unchecked, subject, length, startOffset, options, ovector,
                               ovectorSize, windowSettings(code.settings));
        if (rc != PCRE2_ERROR_MATCHLIMIT)
            return rc;
    } else if (windows && (options & PCRE2_NOTEOL) == 0 &&
               (!code.utf8 || (options & PCRE2_NO_UTF_CHECK) != 0)) {
        // (NOTEOL makes a window's end a place where "$" fails, not one where more text may
        // come; and the library checks UTF-8 only as far as the window reaches.)
        WindowSearch search{code, subject, length, startOffset, options, ovector, ovectorSize};
        int rc = 0;
        if (search.run(rc))
            return rc;
        return exec(code.compiled, subject, length, search.pos(), search.optionsAt(search.pos()),
                    ovector, ovectorSize, code.settings);
    }
    return exec(code.compiled, subject, length, startOffset, options, ovector, ovectorSize,
                code.settings);
}

int32_t captureCount(const pcre2_code* code) {
    uint32_t count = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
    return static_cast<int32_t>(count);
}

bool isUtf8(const pcre2_code* code) {
    uint32_t options = 0;
    pcre2_pattern_info(code, PCRE2_INFO_ALLOPTIONS, &options);
    return (options & PCRE2_UTF) != 0;
}

int32_t namedGroupNumber(const pcre2_code* code, std::string_view name) {
    uint32_t count = 0;
    uint32_t entrySize = 0;
    PCRE2_SPTR table = nullptr;
    pcre2_pattern_info(code, PCRE2_INFO_NAMECOUNT, &count);
    pcre2_pattern_info(code, PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
    pcre2_pattern_info(code, PCRE2_INFO_NAMETABLE, &table);
    // Entries are sorted by name: a 2-byte big-endian group number, then the name and a zero.
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(count) - 1;
    while (table != nullptr && low <= high) {
        const int64_t mid = (low + high) / 2;
        const unsigned char* entry = table + mid * entrySize;
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

void setThreadJitStackLimit(size_t maxBytes) {
    threadMatch().setJitStackLimit(maxBytes);
}

void setThreadSearchWindow(uint32_t bytes) {
    tSearchWindow = bytes != 0 ? bytes : kSearchWindowBytes;
}

} // namespace kestrava::regex::pcre_api

namespace kestrava::regex {

StopScope::StopScope(std::stop_token stop, pcre_api::PassedEvent passed)
    : m_stop(std::move(stop)), m_outer(pcre_api::tThreadStop),
      m_outerPassed(pcre_api::tThreadPassed) {
    pcre_api::tThreadStop = &m_stop;
    pcre_api::tThreadPassed = passed;
}

StopScope::~StopScope() {
    pcre_api::tThreadStop = m_outer;
    pcre_api::tThreadPassed = m_outerPassed;
}

const char* RegexStoppedError::what() const noexcept {
    return "Matching stopped on request";
}

} // namespace kestrava::regex
