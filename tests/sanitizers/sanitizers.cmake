# The environment of every test when the suite is built with the sanitizers: any finding fails the
# test, and only the reports listed in the suppression files beside this file, all from system
# libraries, are let through.
set(KAKIKOMI_SANITIZER_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KAKIKOMI_SANITIZER_ENVIRONMENT
  # Not intercepting __tls_get_addr: with glibc 2.36, clang 14's LeakSanitizer records bogus bounds
  # for the thread-local blocks of libraries loaded later (Qt WebEngine, when the program loads its
  # Chromium module) and crashes scanning them.
  "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:intercept_tls_get_addr=0"
  # The slow unwinder: Qt and the other system libraries keep no frame pointers, so the fast one
  # stops at their first frame and the suppressions could not see the functions they name.
  "LSAN_OPTIONS=suppressions=${KAKIKOMI_SANITIZER_DIR}/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0"
  "UBSAN_OPTIONS=suppressions=${KAKIKOMI_SANITIZER_DIR}/ubsan.supp:print_stacktrace=1:halt_on_error=1"
)

# Linked into every test: tells LeakSanitizer which blocks are Qt WebKit's own.
add_library(kakikomi_webkitallocations OBJECT ${KAKIKOMI_SANITIZER_DIR}/webkitallocations.cpp)
set(KAKIKOMI_SANITIZER_LIBRARIES kakikomi_webkitallocations)
