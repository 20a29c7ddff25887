# Packscope: every set-up step behind two commands.
#   make run    installs what is missing, builds, starts packscope on the sample capture
#               (without a display: prints the sample's screen view on the terminal)
#   make test   installs what is missing, builds, runs every test
#   make sample remakes samples/sample.kss with the capture generator
#   make bench  builds and runs the benchmarks (bench/README.md); never part of make test
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all build run test bench sample deps clean

all: build

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

test:
	scripts/install-deps build test
	$(MAKE) build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

SAMPLE ?= samples/sample.kss

# Without a display the window cannot open: the converter shows the sample's screen view on the
# terminal instead (the display's Windows-1252 text turned into UTF-8).
run:
	scripts/install-deps build run
	$(MAKE) build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD_DIR)/packscope $(SAMPLE); \
	else \
	  echo "make run: no display (DISPLAY and WAYLAND_DISPLAY are not set), so packscope cannot open its window." >&2; \
	  echo "make run: showing $(SAMPLE) as the window would, with packscope-convert --layout screen:" >&2; \
	  $(BUILD_DIR)/packscope-convert --layout screen -o - $(SAMPLE) | iconv -f WINDOWS-1252 -t UTF-8; \
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
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPACKSCOPE_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target packscope-convert packscope-gencapture micro_bench display_bench
	$(BUILD_DIR)/bench/micro_bench
	bench/compare --build $(BUILD_DIR) $(BENCH_ARGS)
	$(BUILD_DIR)/bench/display_bench

clean:
	rm -rf $(BUILD_DIR)
