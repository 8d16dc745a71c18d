# Thin wrapper over scripts/install-deps, CMake and CTest. `make demo` and `make test` do all
# the set-up a fresh Debian 12 machine needs.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
KORVAN = $(BUILD_DIR)/src/cli/korvan
EMU = $(BUILD_DIR)/emulator/korvan-emu
DEMO_DIR ?= $(BUILD_DIR)/demo

.PHONY: all deps configure build test demo test-asan test-tsan sanitize format check-format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The program's main job on a simulated detector: find it and show its versions, then write a
# newer sample update file to it with every unit read back and verified.
demo: build
	$(KORVAN) --simulate 26 --workdir $(DEMO_DIR) detect
	$(EMU) update-file 26 $(DEMO_DIR)/sample --firmware 0301 --voice 0040 --database "2.0 251201"
	$(KORVAN) --simulate 26 --workdir $(DEMO_DIR) update \
	  $(DEMO_DIR)/sample/FernUltra_F0301_V0040_D251201.bin

# Sanitizer builds: ASan+UBSan, and ThreadSanitizer. Both run the whole test suite.
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=address \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=thread \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS)

sanitize: test-asan test-tsan

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

check-format:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf build build-asan build-tsan
