// Mapped file texts and the guard that turns a SIGBUS from a shrunken mapping into an error.
#include "util/file_text.h"

#include "util/unique_fd.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace kestrava::util {

namespace {

// The mapping the current thread is working on, and whether it lost pages.
struct BusGuard {
    char* mapping = nullptr;
    size_t size = 0;
    volatile sig_atomic_t lost = 0;
    BusGuard* outer = nullptr;
    // For work that tells how far it has come (FileText::passed): the pages from offset
    // keptFrom up to setUpTo are in memory, those before keptFrom were let go.
    bool windowed = false;
    size_t keptFrom = 0;
    size_t setUpTo = 0;
};
thread_local BusGuard* tGuard = nullptr;

// Where an address lies in the guard's mapping; at least its size when outside it.
size_t offsetIn(const BusGuard& guard, uintptr_t address) {
    return address - reinterpret_cast<uintptr_t>(guard.mapping); // below it wraps around
}

// Pages are set up ahead of the work, and let go behind it, this many bytes at a time: setting
// up many pages at once costs less than a fault every few pages.
constexpr size_t kWindow = size_t{8} << 20;
// What stays behind the place the work has reached: the start of its line, context lines.
constexpr size_t kKeepBehind = size_t{1} << 20;

// The start of the page holding an offset into a mapping, which starts a page.
size_t pageStart(size_t offset) {
    static const auto kPageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return offset & ~(kPageSize - 1);
}

// Sets up the next window once the work is within half a window of what is set up. A failure
// (a file that shrank) is left to the fault that follows.
void setUpAhead(BusGuard& guard, size_t offset) {
    if (guard.setUpTo >= guard.size || offset + kWindow / 2 < guard.setUpTo)
        return;
    const size_t from = std::max(guard.setUpTo, pageStart(offset));
    const size_t to = std::min(guard.size, from + kWindow);
    madvise(guard.mapping + from, to - from, MADV_POPULATE_READ);
    guard.setUpTo = to;
}
struct sigaction gPreviousBusAction = {};

// A page of ours that the file no longer holds: zero pages take the place of the rest of the
// mapping, and the access runs again on them. The work goes on to its end over nothing, never
// jumped out of, and its result is then thrown away (guard.lost). mmap is a plain system call
// here, safe in a handler.
void onBusError(int signal, siginfo_t* info, void* context) {
    BusGuard* guard = tGuard;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (guard != nullptr && offsetIn(*guard, address) < guard->size) {
        const size_t from = pageStart(offsetIn(*guard, address));
        if (mmap(guard->mapping + from, guard->size - from, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            guard->lost = 1;
            return;
        }
    }
    // Not a mapping of ours: whatever handled SIGBUS before does, else the default ends the
    // process once the faulting access runs again on return.
    if ((gPreviousBusAction.sa_flags & SA_SIGINFO) != 0 &&
        gPreviousBusAction.sa_sigaction != nullptr) {
        gPreviousBusAction.sa_sigaction(signal, info, context);
    } else if (gPreviousBusAction.sa_handler != SIG_DFL &&
               gPreviousBusAction.sa_handler != SIG_IGN) {
        gPreviousBusAction.sa_handler(signal);
    } else {
        ::signal(SIGBUS, SIG_DFL);
    }
}

void installBusHandler() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &gPreviousBusAction);
    });
}

// The first `probe` bytes of a text hold a NUL.
bool nulWithin(std::string_view text, size_t probe) {
    return probe > 0 && std::memchr(text.data(), 0, std::min(text.size(), probe)) != nullptr;
}

} // namespace

FileText::~FileText() {
    unmap();
}

void FileText::unmap() {
    if (m_mapping != nullptr)
        munmap(m_mapping, m_mappedSize);
    m_mapping = nullptr;
    m_mappedSize = 0;
    m_lost = false;
    m_file.reset();
    m_text = {};
}

ReadStatus FileText::load(const std::string& fileName, std::string& buffer, int& error,
                          int64_t maxSize, ReadTarget* target, size_t nulProbe) {
    unmap();
    m_binary = false;
    UniqueFd file;
    size_t size = 0;
    const ReadStatus opened = openRegularFile(fileName, maxSize, file, size, error, target);
    if (opened == ReadStatus::Read && size >= kMapFrom) {
        void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.get(), 0);
        if (mapping != MAP_FAILED) {
            m_mapping = mapping;
            m_mappedSize = size;
            m_file = std::make_shared<const FileBytes>(file.release());
            m_text = std::string_view(static_cast<const char*>(mapping), size);
            // A binary file that is skipped is left after its first pages.
            bool binary = false;
            m_binary = guarded([&](std::string_view text) { binary = nulWithin(text, nulProbe); },
                               false) &&
                       binary;
            return ReadStatus::Read;
        }
        // A file system that cannot map is read instead.
    }
    if (opened != ReadStatus::Read && opened != ReadStatus::Empty)
        return opened;
    size_t got = 0;
    const ReadStatus status = readOpenedFileInto(file, size, buffer, got, error, nulProbe);
    m_text = std::string_view(buffer.data(), got);
    m_binary = nulWithin(m_text, nulProbe);
    return status;
}

bool FileText::use(const std::function<void(std::string_view text)>& work) const {
    return guarded(work, true);
}

void FileText::passed(const char* at) {
    BusGuard* const guard = tGuard;
    if (guard == nullptr || !guard->windowed)
        return;
    const size_t offset = offsetIn(*guard, reinterpret_cast<uintptr_t>(at));
    if (offset >= guard->size)
        return;
    if (offset < guard->keptFrom) // the work went back: what it left must be set up again
        guard->keptFrom = guard->setUpTo = pageStart(offset);
    if (offset - guard->keptFrom >= kWindow + kKeepBehind) {
        const size_t upTo = pageStart(offset - kKeepBehind);
        madvise(guard->mapping + guard->keptFrom, upTo - guard->keptFrom, MADV_DONTNEED);
        guard->keptFrom = upTo;
    }
    setUpAhead(*guard, offset);
}

bool FileBytes::read(int64_t offset, size_t length, char* into) const {
    int error = 0;
    return readRange(m_file.get(), offset, length, into, error) == static_cast<int64_t>(length);
}

bool FileText::guarded(const std::function<void(std::string_view text)>& work,
                       bool windowed) const {
    if (m_mapping == nullptr) {
        work(m_text);
        return true;
    }
    installBusHandler();
    BusGuard guard;
    guard.mapping = static_cast<char*>(m_mapping);
    guard.size = m_mappedSize;
    guard.outer = tGuard;
    guard.windowed = windowed;
    if (windowed)
        setUpAhead(guard, 0);
    tGuard = &guard;
    try {
        work(m_text);
    } catch (...) {
        tGuard = guard.outer;
        m_lost = m_lost || guard.lost != 0;
        throw;
    }
    tGuard = guard.outer;
    // Lost pages stay zero pages: no later work over this text may take them for the file's.
    m_lost = m_lost || guard.lost != 0;
    return !m_lost;
}

} // namespace kestrava::util
