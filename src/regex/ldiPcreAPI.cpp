#include "regex/ldiPcreAPI.h"

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace kes::pcre_api {

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

pcre_jit_stack* ThreadJitStackCallback(void*) {
    if (!tJitStack.stack)
        tJitStack.stack.reset(pcre_jit_stack_alloc(kJitStackStart, tJitStack.maxBytes));
    return tJitStack.stack.get(); // null falls back to the library's small machine stack
}

size_t ThreadStackSize() {
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
unsigned long InterpreterRecursionLimit() {
    static const long frameSize = [] {
        const int rc = pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
        return rc < 0 ? std::max(-rc, 64) : 1024;
    }();
    thread_local const unsigned long limit =
        std::max<unsigned long>(ThreadStackSize() / 2 / static_cast<size_t>(frameSize), 1000);
    return limit;
}

} // namespace

TExtraPtr NewExtra() {
    auto* extra = static_cast<pcre_extra*>(pcre_malloc(sizeof(pcre_extra)));
    if (extra != nullptr)
        std::memset(extra, 0, sizeof(pcre_extra));
    return TExtraPtr(extra);
}

bool JitGivesExactResults(const std::string& pattern, const real_pcre* code) {
    // The JIT of this library version can report a capture left over from an earlier attempt
    // when a possessive quantifier or an atomic group holds captures ("(a+)*+$" on "aaab"); such
    // patterns run on the interpreter, which reports them correctly.
    if (CaptureCount(code) == 0)
        return true;
    for (const char* risky : {"*+", "++", "?+", "}+", "(?>"})
        if (pattern.find(risky) != std::string::npos)
            return false;
    return true;
}

TExtraPtr Study(const real_pcre* code, bool jit, const char*& error) {
    error = nullptr;
    TExtraPtr extra(pcre_study(code, jit ? PCRE_STUDY_JIT_COMPILE : 0, &error));
    if (extra && (extra->flags & PCRE_EXTRA_EXECUTABLE_JIT) != 0)
        pcre_assign_jit_stack(extra.get(), ThreadJitStackCallback, nullptr);
    return extra;
}

int Exec(const real_pcre* code, const pcre_extra* extra, const char* subject, uint32_t length,
         uint32_t startOffset, int32_t options, int* ovector, int ovectorSize) {
    if (length > static_cast<uint32_t>(INT_MAX) || startOffset > length)
        return PCRE_ERROR_BADLENGTH;
    pcre_extra local{};
    if (extra != nullptr)
        local = *extra;
    if ((local.flags & PCRE_EXTRA_MATCH_LIMIT_RECURSION) == 0) {
        local.flags |= PCRE_EXTRA_MATCH_LIMIT_RECURSION;
        local.match_limit_recursion = InterpreterRecursionLimit();
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

int32_t CaptureCount(const real_pcre* code) {
    int count = 0;
    pcre_fullinfo(code, nullptr, PCRE_INFO_CAPTURECOUNT, &count);
    return count;
}

bool IsUtf8(const real_pcre* code) {
    unsigned long options = 0;
    pcre_fullinfo(code, nullptr, PCRE_INFO_OPTIONS, &options);
    return (options & PCRE_UTF8) != 0;
}

int32_t NamedGroupNumber(const real_pcre* code, std::string_view name) {
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

void SetThreadJitStackLimit(int32_t maxBytes) {
    tJitStack.maxBytes = std::max(maxBytes, kJitStackStart);
    tJitStack.stack.reset();
}

} // namespace kes::pcre_api
