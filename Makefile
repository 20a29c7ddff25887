# Packscope: every set-up step behind two commands.
#   make run    installs what is missing, builds, starts packscope on the sample capture
#   make test   installs what is missing, builds, runs every test
#   make sample remakes samples/sample.kss with the capture generator
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

run:
	scripts/install-deps build run
	$(MAKE) build
	$(BUILD_DIR)/packscope

sample:
	scripts/install-deps build
	$(MAKE) $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) --target sample

bench:
	@echo "make bench: the benchmarks are not built yet." >&2; exit 1

clean:
	rm -rf $(BUILD_DIR)
