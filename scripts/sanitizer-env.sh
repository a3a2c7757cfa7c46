# Options of the AddressSanitizer + UndefinedBehaviorSanitizer test runs,
# shared by test.sh and scripts/test-loaded.sh (sourced from the checkout).
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:${LSAN_OPTIONS:-}"
