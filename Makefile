# Packscope: every set-up step behind two commands.
#   make run    installs what is missing, builds, starts packscope on the sample capture
#               (without a display: prints the sample's screen view on the terminal)
#   make test   installs what is missing, builds, runs every test
#   make sanitize   every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer
#   make release    the two programs as a packager builds them (Release, -O3)
#   make fuzz       each fuzzer of FUZZ_TARGETS for FUZZ_SECONDS seconds (clang 14, libFuzzer)
#   make sample remakes samples/sample.kss with the capture generator
#   make bench  builds and runs the benchmarks (bench/README.md); never part of make test
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# The project's own builds treat warnings as errors; a plain CMake configure (a packager's) does
# not.
WERROR_FLAGS = -DPACKSCOPE_WERROR=ON
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_MAX_LEN ?= 8192
FUZZ_FLAGS ?=
# Leaks are errors in every test, GUI tests included (no suppressions needed on Debian 12).
SANITIZE_ENV = QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all build run test sanitize release fuzz bench sample deps clean

all: build

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(WERROR_FLAGS) $(CMAKE_FLAGS)

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
	  -DPACKSCOPE_SANITIZE=ON $(WERROR_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

# The two programs as a packager builds them (Release, -O3), warnings as errors: the code must build
# clean at every optimisation level.
RELEASE_DIR ?= build-release
release:
	scripts/install-deps build
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPACKSCOPE_BUILD_TESTS=OFF \
	  -DPACKSCOPE_BUILD_BENCH=OFF $(WERROR_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target packscope packscope-convert

# The fuzzers, one after the other on one core, each with its seed folders: new inputs go to
# $(FUZZ_DIR)/corpus-TARGET, failing ones to $(FUZZ_DIR)/TARGET-crash-* (keep capture inputs in
# fuzz/regressions/ once fixed).
FUZZ_TARGETS ?= capture_fuzzer filter_fuzzer
FUZZ_SEEDS_capture_fuzzer = fuzz/corpus fuzz/regressions
FUZZ_SEEDS_filter_fuzzer = fuzz/filter_corpus
define run_fuzzer
	mkdir -p $(FUZZ_DIR)/corpus-$(1)
	$(FUZZ_DIR)/fuzz/$(1) -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
	  -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/$(1)- \
	  $(FUZZ_FLAGS) $(FUZZ_DIR)/corpus-$(1) $(FUZZ_SEEDS_$(1))

endef
fuzz:
	scripts/install-deps build fuzz
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++-14 -DPACKSCOPE_FUZZ=ON -DPACKSCOPE_BUILD_QT=OFF \
	  -DPACKSCOPE_BUILD_TESTS=OFF $(WERROR_FLAGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGETS)
	$(foreach t,$(FUZZ_TARGETS),$(call run_fuzzer,$(t)))

SAMPLE ?= samples/sample.kss

# Without a display the window cannot open: the converter shows the sample's screen view on the
# terminal instead (each byte as the window shows it, in UTF-8).
run:
	scripts/install-deps build run
	$(MAKE) build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD_DIR)/packscope $(SAMPLE); \
	else \
	  echo "make run: no display (DISPLAY and WAYLAND_DISPLAY are not set), so packscope cannot open its window." >&2; \
	  echo "make run: showing $(SAMPLE) as the window would, with packscope-convert --layout screen:" >&2; \
	  $(BUILD_DIR)/packscope-convert --layout screen --encoding utf-8 -o - $(SAMPLE); \
	fi

# make install [PREFIX=/usr/local] [DESTDIR=...]: the programs, the menu entry, the MIME type, the
# icons and the manual pages. make package: build/packscope_<version>_<arch>.deb, for
# apt-get install ./build/packscope_*.deb.
.PHONY: install package
PREFIX ?= /usr/local

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

package:
	scripts/install-deps build package
	$(MAKE) build
	cmake --build $(BUILD_DIR) --target package

sample:
	scripts/install-deps build
	$(MAKE) $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) --target sample

# BENCH_ARGS go to bench/compare, e.g. BENCH_ARGS="--rounds 3 --size 20000000".
BENCH_ARGS ?=
bench:
	scripts/install-deps build bench
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPACKSCOPE_BUILD_BENCH=ON $(WERROR_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target packscope-convert packscope-gencapture micro_bench display_bench
	$(BUILD_DIR)/bench/micro_bench
	bench/compare --build $(BUILD_DIR) $(BENCH_ARGS)
	$(BUILD_DIR)/bench/display_bench

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(RELEASE_DIR)
