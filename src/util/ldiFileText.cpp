// Mapped file texts and the guard that turns a SIGBUS from a shrunken mapping into an error.
#include "util/ldiFileText.h"

#include "util/ldiFileHandle.h"

#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>

namespace kes {

namespace {

// The mapping the current thread is working on, and where to go should it lose pages.
struct TBusGuard {
    uintptr_t Begin = 0;
    uintptr_t End = 0;
    sigjmp_buf Resume;
    TBusGuard* Outer = nullptr;
};
thread_local TBusGuard* tGuard = nullptr;
struct sigaction gPreviousBusAction {};

void OnBusError(int signal, siginfo_t* info, void* context) {
    const TBusGuard* guard = tGuard;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    if (guard != nullptr && address >= guard->Begin && address < guard->End)
        siglongjmp(const_cast<TBusGuard*>(guard)->Resume, 1);
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

void InstallBusHandler() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &gPreviousBusAction);
    });
}

} // namespace

TFileText::~TFileText() {
    Unmap();
}

void TFileText::Unmap() {
    if (Mapping_ != nullptr)
        munmap(Mapping_, MappedSize_);
    Mapping_ = nullptr;
    MappedSize_ = 0;
    Text_ = {};
}

TReadStatus TFileText::Load(const std::string& fileName, std::string& buffer, int& error,
                            int64_t maxSize, TReadTarget* target) {
    Unmap();
    buffer.clear();
    TFileHandle file;
    size_t size = 0;
    const TReadStatus opened = ldiOpenRegularFile(fileName, maxSize, file, size, error, target);
    if (opened == rsRead && size >= kMapFrom) {
        void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.Get(), 0);
        if (mapping != MAP_FAILED) {
            Mapping_ = mapping;
            MappedSize_ = size;
            Text_ = std::string_view(static_cast<const char*>(mapping), size);
            return rsRead;
        }
        // A file system that cannot map is read instead.
    }
    if (opened != rsRead && opened != rsEmpty)
        return opened;
    const TReadStatus status = ldiReadOpenedFile(file, size, buffer, error);
    Text_ = buffer;
    return status;
}

bool TFileText::Use(const std::function<void(std::string_view text)>& work) const {
    if (Mapping_ == nullptr) {
        work(Text_);
        return true;
    }
    InstallBusHandler();
    TBusGuard guard;
    guard.Begin = reinterpret_cast<uintptr_t>(Mapping_);
    guard.End = guard.Begin + MappedSize_;
    guard.Outer = tGuard;
    if (sigsetjmp(guard.Resume, 1) != 0) {
        tGuard = guard.Outer;
        return false;
    }
    tGuard = &guard;
    try {
        work(Text_);
    } catch (...) {
        tGuard = guard.Outer;
        throw;
    }
    tGuard = guard.Outer;
    return true;
}

} // namespace kes
