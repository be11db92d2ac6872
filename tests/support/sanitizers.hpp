// Whether this test build runs under a sanitizer that changes what some tests measure: ASan
// keeps freed memory in quarantine and TSan shadows every allocation, so resident memory and
// allocation counts say nothing there, and both slow the code down several times.
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
