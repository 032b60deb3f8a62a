// Mapped file texts and the guard that turns a SIGBUS from a shrunken mapping into an error.
#include "util/file_text.h"

#include "util/unique_fd.h"

#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>

namespace kestrava::util {

namespace {

// The mapping the current thread is working on, and where to go should it lose pages.
struct BusGuard {
    uintptr_t begin = 0;
    uintptr_t end = 0;
    sigjmp_buf resume;
    BusGuard* outer = nullptr;
};
thread_local BusGuard* tGuard = nullptr;
struct sigaction gPreviousBusAction {};

void onBusError(int signal, siginfo_t* info, void* context) {
    const BusGuard* guard = tGuard;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (guard != nullptr && address >= guard->begin && address < guard->end)
        siglongjmp(const_cast<BusGuard*>(guard)->resume, 1);
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
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &gPreviousBusAction);
    });
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
    m_text = {};
}

ReadStatus FileText::load(const std::string& fileName, std::string& buffer, int& error,
                          int64_t maxSize, ReadTarget* target) {
    unmap();
    UniqueFd file;
    size_t size = 0;
    const ReadStatus opened = openRegularFile(fileName, maxSize, file, size, error, target);
    if (opened == ReadStatus::Read && size >= kMapFrom) {
        void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.get(), 0);
        if (mapping != MAP_FAILED) {
            m_mapping = mapping;
            m_mappedSize = size;
            m_text = std::string_view(static_cast<const char*>(mapping), size);
            return ReadStatus::Read;
        }
        // A file system that cannot map is read instead.
    }
    if (opened != ReadStatus::Read && opened != ReadStatus::Empty)
        return opened;
    size_t got = 0;
    const ReadStatus status = readOpenedFileInto(file, size, buffer, got, error);
    m_text = std::string_view(buffer.data(), got);
    return status;
}

bool FileText::use(const std::function<void(std::string_view text)>& work) const {
    if (m_mapping == nullptr) {
        work(m_text);
        return true;
    }
    installBusHandler();
    BusGuard guard;
    guard.begin = reinterpret_cast<uintptr_t>(m_mapping);
    guard.end = guard.begin + m_mappedSize;
    guard.outer = tGuard;
    if (sigsetjmp(guard.resume, 1) != 0) {
        tGuard = guard.outer;
        return false;
    }
    tGuard = &guard;
    try {
        work(m_text);
    } catch (...) {
        tGuard = guard.outer;
        throw;
    }
    tGuard = guard.outer;
    return true;
}

} // namespace kestrava::util
