// The stack protector's guard value and its two failure routines, which the compiler's checks
// call: the canary every protected function keeps below its locals, and the end of a process
// whose stack or fortified copy went wrong. GCC's libssp has its own, but it seeds the canary in
// a constructor through CryptAcquireContextA, which loads the crypto provider's libraries by
// name before WinMain could restrict where libraries come from: from a Downloads folder, the
// first place searched is the folder of the executable. Defined here, the constructor object of
// libssp is not linked at all (its fortified copies still are), and the first constructor of
// the program restricts the search before it seeds the canary.
#include <cstdint>

#include <windows.h>

#include "runtime/facilities.h"

namespace {

// Until the seeding, a fixed canary with a zero, a line feed and 0xFF, which string copies
// stop at or cannot write.
constexpr uintptr_t kUnseededGuard = 0xff0a0000;

// The codes of winnt.h that tell what failed.
constexpr unsigned kStackCookieFailure = 2;       // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
constexpr unsigned kRangeCheckFailure = 8;        // FAST_FAIL_RANGE_CHECK_FAILURE
constexpr DWORD kFastFailAvailable = 23;          // PF_FASTFAIL_AVAILABLE, Windows 8 and later
constexpr UINT kStackBufferOverrun = 0xC0000409;  // STATUS_STACK_BUFFER_OVERRUN

// Ends the process at once: no handler, clean-up or message of the program runs on a stack
// that can no longer be trusted. Windows 8 and later end it in the kernel (__fastfail is
// int 0x29 with the code in ecx on x86); an older system ends it as the Visual C++ runtime
// does there.
[[noreturn]] __attribute__((no_stack_protector)) void FailFast(unsigned code) {
    if (IsProcessorFeaturePresent(kFastFailAvailable)) {
        asm volatile("int $0x29" : : "c"(code) : "memory");
    }
    TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
    __builtin_trap();
}

}  // namespace

extern "C" {

uintptr_t __stack_chk_guard = kUnseededGuard;

[[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail() {
    FailFast(kStackCookieFailure);
}

[[noreturn]] __attribute__((no_stack_protector)) void __chk_fail() { FailFast(kRangeCheckFailure); }

}  // extern "C"

namespace {

// The program's first constructor (the lowest priority number a program may give runs first;
// only the compiler's own frame registration, which loads nothing, runs before it). It must
// not be protected itself: its own check would compare the new canary with the old one.
// The functions it calls return before the canary changes.
__attribute__((constructor(101), no_stack_protector)) void RestrictLibrariesAndSeedGuard() {
    tq::RestrictLibrarySearch();
    // RtlGenRandom, the system's random generator, documented to be looked up by name in
    // advapi32, which the program imports and so is loaded already. Where Windows forwards it
    // to another library, that one now comes from System32.
    using GenRandom = BOOLEAN(WINAPI*)(void*, ULONG);
    uintptr_t seed = 0;
    const auto gen_random = tq::LibraryFunction<GenRandom>(L"advapi32.dll", "SystemFunction036");
    if (!gen_random || !gen_random(&seed, sizeof seed)) {
        // Without it, what the Visual C++ runtime mixes: time, process, thread and counter.
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        seed = now.dwLowDateTime ^ now.dwHighDateTime ^ GetCurrentProcessId() ^
               (GetCurrentThreadId() << 8) ^ GetTickCount() ^ counter.LowPart ^ counter.HighPart;
    }
    // The low byte stays zero, as the fixed canary's: a string read or copied up to the canary
    // stops there.
    seed &= ~uintptr_t{0xff};
    __stack_chk_guard = seed != 0 ? seed : kUnseededGuard;
}

}  // namespace
