# The whole suite (unit, widget and end-to-end tests) once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, with leak checks: a clang Debug build of its own in build-asan/.
# Any report fails the test it comes from: ASan and LSan end the program with a failing status,
# UBSan is built not to recover and halts at the first report. The end-to-end scripts inherit
# these variables through ctest, and fail when a program they started reports anything.
# The suppressions in tests/support/lsan.supp name library frames only.
ASAN_BUILD := build-asan
ASAN_SANITIZERS := -fsanitize=address,undefined -fno-sanitize-recover=all
ASAN_ENV := \
  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: asan
asan:
	@./scripts/install-deps.sh asan
	@CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DEKRANIK_WERROR=ON \
	  -DCMAKE_CXX_FLAGS="$(ASAN_SANITIZERS) -fno-omit-frame-pointer" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(ASAN_SANITIZERS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$(ASAN_SANITIZERS)" >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)
