# Packscope: every set-up step behind two commands.
#   make run    installs what is missing, builds, starts packscope on the sample capture
#   make test   installs what is missing, builds, runs every test
#   make sanitize   every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer
#   make fuzz       the capture fuzzer for FUZZ_SECONDS seconds (clang 14, libFuzzer)
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_MAX_LEN ?= 8192
FUZZ_FLAGS ?=
# Leaks are errors in every test; the suppressions name leaks inside the system's libraries only.
SANITIZE_ENV = QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all build run test sanitize fuzz bench deps clean

all: build

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

test:
	scripts/install-deps build test
	$(MAKE) build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole test suite, GUI tests included, with ASan and UBSan in its own build folder.
sanitize:
	scripts/install-deps build test
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPACKSCOPE_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

# The capture fuzzer on one core: new inputs go to $(FUZZ_DIR)/corpus, failing ones to
# $(FUZZ_DIR)/ (keep them in fuzz/regressions/ once fixed).
fuzz:
	scripts/install-deps build fuzz
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++-14 -DPACKSCOPE_FUZZ=ON -DPACKSCOPE_BUILD_QT=OFF \
	  -DPACKSCOPE_BUILD_TESTS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target capture_fuzzer
	mkdir -p $(FUZZ_DIR)/corpus
	$(FUZZ_DIR)/fuzz/capture_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
	  -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/ $(FUZZ_FLAGS) \
	  $(FUZZ_DIR)/corpus fuzz/corpus fuzz/regressions

run:
	scripts/install-deps build run
	$(MAKE) build
	$(BUILD_DIR)/packscope

bench:
	@echo "make bench: the benchmarks are not built yet." >&2; exit 1

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)
