# Thin wrapper over scripts/install-deps, CMake and CTest. `make demo` and `make test` do all
# the set-up a fresh Debian 12 machine needs.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
KORVAN = $(BUILD_DIR)/src/cli/korvan
UPDATER = $(BUILD_DIR)/src/ui/korvan-updater
EMU = $(BUILD_DIR)/emulator/korvan-emu
DEMO_DIR ?= $(BUILD_DIR)/demo
# The window's tests need an X display; without one they get a virtual one.
XVFB = $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp")

.PHONY: all deps configure build test demo screenshots test-asan test-tsan sanitize format check-format clean
.PHONY: fuzz package soak test-kernel windows windows-package

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	$(XVFB) ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The window on a simulated type-26 detector, with a newer sample update file in the working
# folder: choose the file source, "Открыть" the sample, "Загрузить в устройство". Without a
# display the same update runs on the command line.
demo: build
	@scripts/demo $(BUILD_DIR) $(DEMO_DIR)

# Pictures of the window in docs/.
screenshots: build
	BUILD_DIR=$(BUILD_DIR) scripts/screenshots

# Sanitizer builds: ASan+UBSan, and ThreadSanitizer. Both run the whole test suite.
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=address \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	$(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=thread \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  $(XVFB) ctest --test-dir build-tsan --output-on-failure -j $(JOBS)

sanitize: test-asan test-tsan

# The window's end at many moments of the threaded work (detection, update, download, settings
# run; closed or unplugged), 20 rounds of each under ThreadSanitizer. The normal suites run 3.
SOAK_REPEAT ?= 20
soak: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=thread \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target close_soak_test
	KORVAN_SOAK_REPEAT=$(SOAK_REPEAT) TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  build-tsan/tests/app/close_soak_test

# The programs against a real kernel: a qemu guest with Debian's kernel, whose usb-storage, sd
# and sg drivers meet the simulated detector as a USB gadget (tests/kernel/run-kernel-test).
# The kernel is downloaded once into $(KERNEL_BUILD_DIR)/kernel-cache/.
KERNEL_BUILD_DIR ?= build-kernel
KERNEL_TEST_TARGETS = korvan korvan-emu korvan-gadget kernel_guest_helper
test-kernel: deps
	cmake -S . -B $(KERNEL_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_BUILD_UI=OFF \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build $(KERNEL_BUILD_DIR) -j $(JOBS) --target $(KERNEL_TEST_TARGETS)
	bash tests/kernel/run-kernel-test $(KERNEL_BUILD_DIR)

# libFuzzer targets (clang, ASan+UBSan) in build-fuzz/, each run for FUZZ_SECONDS over its seeds
# in tests/fuzz/corpus/; new inputs go to build-fuzz/corpus/, crashes to build-fuzz/findings/.
FUZZ_SECONDS ?= 600
FUZZ_TARGETS = zip_name_fuzz zip_extractor_fuzz settings_schema_fuzz settings_packet_fuzz \
  update_file_fuzz device_copy_fuzz parameters_ini_fuzz server_version_fuzz
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DKORVAN_BUILD_FUZZERS=ON -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCHMARKS=OFF \
	  -DKORVAN_BUILD_UI=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	@mkdir -p build-fuzz/findings
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t && \
	  dict=tests/fuzz/$$t.dict; [ -f $$dict ] && dict=-dict=$$dict || dict=; \
	  build-fuzz/tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $$dict \
	    -artifact_prefix=build-fuzz/findings/$$t- build-fuzz/corpus/$$t tests/fuzz/corpus/$$t \
	    || exit 1; \
	done

# The Debian package, $(PACKAGE_DIR)/korvan-updater_<version>_<arch>.deb: the programs built
# without the tests, with Debian's hardening flags, stripped; dependencies from dpkg-shlibdeps.
PACKAGE_DIR ?= build-package
DEB_BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
DEB_CXXFLAGS = $(shell $(DEB_BUILDFLAGS) CXXFLAGS) $(shell $(DEB_BUILDFLAGS) CPPFLAGS)
DEB_LDFLAGS = $(shell $(DEB_BUILDFLAGS) LDFLAGS)
package: deps
	cmake -S . -B $(PACKAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCHMARKS=OFF -DKORVAN_BUILD_FUZZERS=OFF \
	  -DCMAKE_CXX_FLAGS="$(DEB_CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(DEB_LDFLAGS)" $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB

# Windows: everything cross-built with mingw-w64 into $(WINDOWS_BUILD_DIR), every test but the
# window's run under wine, then the window itself under wine on a virtual display (its picture in
# docs/windows-window-ready.png) and the command line's JSON compared with the Linux build's.
# What Debian does not package for mingw (wxWidgets, libcurl, minizip, GoogleTest) is built
# once into $(WINDOWS_DEPS_DIR)/prefix from Debian's source packages and reused. -O2, not
# Release's -O3: at -O3 mingw's GCC 12 warns of overlapping copies inside std::string that
# cannot happen (-Wrestrict), and warnings are errors.
WINDOWS_BUILD_DIR ?= build-windows
WINDOWS_DEPS_DIR ?= build-windows-deps
WINDOWS_PACKAGE_DIR ?= build-windows-package
WINDOWS_PREFIX = $(abspath $(WINDOWS_DEPS_DIR))/prefix
windows: build
	scripts/windows-deps $(WINDOWS_PREFIX)
	cmake -S . -B $(WINDOWS_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKORVAN_WINDOWS_DEPS=$(WINDOWS_PREFIX) \
	  -DwxWidgets_CONFIG_EXECUTABLE=$(WINDOWS_PREFIX)/bin/wx-config \
	  -DKORVAN_BUILD_BENCHMARKS=OFF -DKORVAN_BUILD_FUZZERS=OFF
	cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS)
	ctest --test-dir $(WINDOWS_BUILD_DIR) --output-on-failure -j $(JOBS)
	scripts/windows-window-check $(WINDOWS_BUILD_DIR) docs/windows-window-ready.png
	scripts/windows-compare-json $(BUILD_DIR) $(WINDOWS_BUILD_DIR)

# The portable zip and the installer of the Windows build, tried under wine.
windows-package: windows
	scripts/windows-package $(WINDOWS_BUILD_DIR) $(WINDOWS_PACKAGE_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

check-format:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf build build-asan build-tsan build-fuzz build-package build-kernel $(WINDOWS_BUILD_DIR) \
	  $(WINDOWS_PACKAGE_DIR)
