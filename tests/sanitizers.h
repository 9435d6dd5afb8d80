#ifndef RELMERGE_TESTS_SANITIZERS_H_
#define RELMERGE_TESTS_SANITIZERS_H_

// Whether the tests, and so the tool they run, are built with AddressSanitizer or
// ThreadSanitizer. Both reserve terabytes of address space when a process starts, so no limit
// on it leaves them room, and both answer a failed allocation with a report of their own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

#endif  // RELMERGE_TESTS_SANITIZERS_H_
