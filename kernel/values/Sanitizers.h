// Which sanitizer the code is built with, for the few places that must know: g++ names it with
// __SANITIZE_ADDRESS__ and __SANITIZE_THREAD__, clang through __has_feature.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define KOVA_ADDRESS_SANITIZER 1
#endif
#if defined(__SANITIZE_THREAD__)
#define KOVA_THREAD_SANITIZER 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(KOVA_ADDRESS_SANITIZER)
#define KOVA_ADDRESS_SANITIZER 1
#endif
#if __has_feature(thread_sanitizer) && !defined(KOVA_THREAD_SANITIZER)
#define KOVA_THREAD_SANITIZER 1
#endif
#endif
