// Whether this test build runs under a sanitizer that changes what some tests measure: ASan
// keeps freed memory in quarantine and TSan shadows every allocation, so resident memory and
// allocation counts say nothing there, and both slow the code down several times. TSan also
// loses some signals.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VENNIC_TEST_MEMORY_SANITIZED 1
#else
#define VENNIC_TEST_MEMORY_SANITIZED 0
#endif

namespace vennic::test {

/// True in builds with AddressSanitizer or ThreadSanitizer.
inline constexpr bool memory_sanitized = VENNIC_TEST_MEMORY_SANITIZED != 0;

}  // namespace vennic::test

// ThreadSanitizer takes an asynchronous signal in its own handler and runs the program's handler
// later, at the receiving thread's next intercepted call, or at once inside a call it knows
// blocks. Now and then (a few runs in a hundred) it never runs it: the process then shows nothing
// pending and the thread the signal hit asleep where it waited. Tests that lost a signal so in
// repeated runs skip themselves there with this.
namespace vennic::test {

/// True under ThreadSanitizer, whose deferred delivery (below) may run a signal's effect late.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool signals_deferred = true;
#else
inline constexpr bool signals_deferred = false;
#endif

}  // namespace vennic::test

#if defined(__SANITIZE_THREAD__)
#define VENNIC_SKIP_WHERE_SIGNALS_ARE_LOST() \
  GTEST_SKIP() << "ThreadSanitizer's deferred signal delivery loses some signals"
#else
#define VENNIC_SKIP_WHERE_SIGNALS_ARE_LOST() static_cast<void>(0)
#endif
