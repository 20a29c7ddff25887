# Packscope: every set-up step behind two commands.
#   make run    installs what is missing, builds, starts packscope on the sample capture
#               (without a display: prints the sample's screen view on the terminal)
#   make test   installs what is missing, builds, runs every test
#   make sanitize   every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer
#   make release    everything but the tests as a packager builds it (Release, -O3)
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

# Everything but the tests as a packager builds it (Release, -O3), warnings as errors: the code
# must build clean at every optimisation level.
RELEASE_DIR ?= build-release
release:
	scripts/install-deps build
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPACKSCOPE_BUILD_TESTS=OFF \
	  -DPACKSCOPE_BUILD_BENCH=OFF $(WERROR_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# The fuzzers, one after the other on one core, each for FUZZ_SECONDS seconds:
#   capture  captures through every pass    new inputs $(FUZZ_DIR)/corpus,      failing ones
#            $(FUZZ_DIR)/       (keep them in fuzz/regressions/ once fixed)
#   aprs     APRS fields through the decoder  new inputs $(FUZZ_DIR)/corpus-aprs, failing ones
#            $(FUZZ_DIR)/aprs-  (keep them in fuzz/aprs_regressions/ once fixed)
#   kiss_stream  a TNC's byte stream through the recorder's parser  new inputs
#            $(FUZZ_DIR)/corpus-kiss_stream, failing ones $(FUZZ_DIR)/kiss_stream-
#   index    captures through the frame index and its texts, against whole passes  new inputs
#            $(FUZZ_DIR)/corpus-index, failing ones $(FUZZ_DIR)/index-
#   filter   filter expressions through the parser and the evaluator  new inputs
#            $(FUZZ_DIR)/corpus-filter, failing ones $(FUZZ_DIR)/filter-
#   framelist  captures through the frame list's core, against the frame loop  new inputs
#            $(FUZZ_DIR)/corpus-framelist, failing ones $(FUZZ_DIR)/framelist-
#   pcap     pcap and pcapng files through the pcap reader, read whole and in pieces  new inputs
#            $(FUZZ_DIR)/corpus-pcap, failing ones $(FUZZ_DIR)/pcap-
#   tnc2     TNC2 lines through the TNC2 reader, read whole and in pieces  new inputs
#            $(FUZZ_DIR)/corpus-tnc2, failing ones $(FUZZ_DIR)/tnc2-
#   merge    three captures merged under every rule, against the merge's promises  new inputs
#            $(FUZZ_DIR)/corpus-merge, failing ones $(FUZZ_DIR)/merge-
#   sessions  frames through the link tracker and the NET/ROM decoder  new inputs
#            $(FUZZ_DIR)/corpus-sessions, failing ones $(FUZZ_DIR)/sessions-
# FUZZ_TARGETS=aprs runs one of them.
FUZZ_TARGETS ?= capture aprs kiss_stream index filter framelist pcap tnc2 merge sessions
fuzz_work_capture = $(FUZZ_DIR)/corpus
fuzz_seeds_capture = fuzz/corpus fuzz/regressions
fuzz_artifacts_capture = $(FUZZ_DIR)/
fuzz_work_aprs = $(FUZZ_DIR)/corpus-aprs
fuzz_seeds_aprs = fuzz/aprs_corpus fuzz/aprs_regressions
fuzz_artifacts_aprs = $(FUZZ_DIR)/aprs-
fuzz_work_kiss_stream = $(FUZZ_DIR)/corpus-kiss_stream
fuzz_seeds_kiss_stream = fuzz/corpus fuzz/regressions
fuzz_artifacts_kiss_stream = $(FUZZ_DIR)/kiss_stream-
fuzz_work_index = $(FUZZ_DIR)/corpus-index
fuzz_seeds_index = fuzz/corpus fuzz/regressions
fuzz_artifacts_index = $(FUZZ_DIR)/index-
fuzz_work_filter = $(FUZZ_DIR)/corpus-filter
fuzz_seeds_filter = fuzz/filter_corpus
fuzz_artifacts_filter = $(FUZZ_DIR)/filter-
fuzz_work_framelist = $(FUZZ_DIR)/corpus-framelist
fuzz_seeds_framelist = fuzz/corpus fuzz/regressions
fuzz_artifacts_framelist = $(FUZZ_DIR)/framelist-
fuzz_work_pcap = $(FUZZ_DIR)/corpus-pcap
fuzz_seeds_pcap = fuzz/pcap_corpus
fuzz_artifacts_pcap = $(FUZZ_DIR)/pcap-
fuzz_work_tnc2 = $(FUZZ_DIR)/corpus-tnc2
fuzz_seeds_tnc2 = fuzz/tnc2_corpus
fuzz_artifacts_tnc2 = $(FUZZ_DIR)/tnc2-
fuzz_work_merge = $(FUZZ_DIR)/corpus-merge
fuzz_seeds_merge = fuzz/merge_corpus
fuzz_artifacts_merge = $(FUZZ_DIR)/merge-
fuzz_work_sessions = $(FUZZ_DIR)/corpus-sessions
fuzz_seeds_sessions = fuzz/sessions_corpus fuzz/corpus
fuzz_artifacts_sessions = $(FUZZ_DIR)/sessions-

fuzz:
	scripts/install-deps build fuzz
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++-14 -DPACKSCOPE_FUZZ=ON -DPACKSCOPE_BUILD_QT=OFF \
	  -DPACKSCOPE_BUILD_TESTS=OFF $(WERROR_FLAGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzzer)
	$(foreach t,$(FUZZ_TARGETS),$(call run_fuzzer,$(t)))

define run_fuzzer
mkdir -p $(fuzz_work_$(1))
$(FUZZ_DIR)/fuzz/$(1)_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
  -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(fuzz_artifacts_$(1)) \
  $(FUZZ_FLAGS) $(fuzz_work_$(1)) $(fuzz_seeds_$(1))

endef

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

# BENCH_ARGS go to bench/compare, e.g. BENCH_ARGS="--rounds 3 --size 20000000"; LIVE_BENCH_ARGS
# to bench/live_bench, e.g. LIVE_BENCH_ARGS="--frames 1000000 --monitor"; MERGE_BENCH_ARGS to
# bench/merge_bench, e.g. MERGE_BENCH_ARGS="--rounds 1 --layouts kiss".
BENCH_ARGS ?=
LIVE_BENCH_ARGS ?=
MERGE_BENCH_ARGS ?=
bench:
	scripts/install-deps build bench
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPACKSCOPE_BUILD_BENCH=ON $(WERROR_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target packscope-convert packscope-gencapture micro_bench display_bench index_bench \
	  frame_list_bench session_bench map_plot_bench packscope-record packscope-replay
	$(BUILD_DIR)/bench/micro_bench
	bench/compare --build $(BUILD_DIR) $(BENCH_ARGS)
	bench/compare --build $(BUILD_DIR) --stations 1000000 --rounds 3 --layouts "jsonl stats" --filter-layouts ""
	$(BUILD_DIR)/bench/display_bench
	$(BUILD_DIR)/bench/index_bench
	$(BUILD_DIR)/bench/frame_list_bench
	$(BUILD_DIR)/bench/session_bench
	$(BUILD_DIR)/bench/frame_list_bench --stations
	$(BUILD_DIR)/bench/map_plot_bench
	bench/live_bench --build $(BUILD_DIR) $(LIVE_BENCH_ARGS)
	bench/gpx_bench --build $(BUILD_DIR) $(GPX_BENCH_ARGS)
	bench/merge_bench --build $(BUILD_DIR) $(MERGE_BENCH_ARGS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(RELEASE_DIR)
