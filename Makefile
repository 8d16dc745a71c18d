# Thin wrapper over scripts/install-deps, CMake and CTest. `make demo` and `make test` do all
# the set-up a fresh Debian 12 machine needs: they install the base profile of packages, and
# every other target installs its own profile too (scripts/install-deps).
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
KORVAN = $(BUILD_DIR)/src/cli/korvan
UPDATER = $(BUILD_DIR)/src/ui/korvan-updater
EMU = $(BUILD_DIR)/emulator/korvan-emu
DEMO_DIR ?= $(BUILD_DIR)/demo
# The window's tests need an X display; without one they get a virtual one.
XVFB = $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp")
# What outlives a build folder and a clone: the Windows dependencies and the guest kernel. The
# compiled objects are ccache's, in its own default place (cmake/Ccache.cmake).
KORVAN_CACHE ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/korvan

# The programs are built with Debian's hardening flags, in the tested build as in the package,
# so the package's objects come out of ccache. The file prefix map is left out: it names the
# clone's folder, and two clones would then share nothing.
DEB_BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
DEB_CXXFLAGS = $(filter-out -ffile-prefix-map=%,$(shell $(DEB_BUILDFLAGS) CXXFLAGS) $(shell $(DEB_BUILDFLAGS) CPPFLAGS))
DEB_LDFLAGS = $(shell $(DEB_BUILDFLAGS) LDFLAGS)
HARDENING = -DCMAKE_CXX_FLAGS="$(DEB_CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(DEB_LDFLAGS)"
# Sanitizer builds: GCC's -Og with line tables only compiles in well under half the time of -O1
# once ASan and UBSan instrument the code (emu_tool.cpp: 15 s against 35 s), and still gives every
# report its file and line. The fuzz targets, whose speed is their worth, stay at -O1 (clang's
# -Og is its -O1 anyway).
QUICK_DEBUG = -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-Og -g1 -DNDEBUG"
FUZZ_DEBUG = -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"

.PHONY: all deps configure build test demo screenshots test-asan test-tsan sanitize format check-format clean
.PHONY: fuzz package soak test-kernel windows windows-package build-asan build-tsan build-fuzz

all: build

deps:
	@scripts/install-deps base

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(HARDENING) $(CMAKE_FLAGS)

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
	@scripts/install-deps format
	BUILD_DIR=$(BUILD_DIR) scripts/screenshots

# Sanitizer builds. ASan+UBSan runs the whole test suite. ThreadSanitizer builds and runs the
# tests labelled `threads`, those whose processes start threads; scripts/thread-census first
# checks on the ordinary build that no other test starts one.
# The build-* targets only build (.ci/run builds them in the background while other stages run).
build-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=address \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(QUICK_DEBUG) $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)

test-asan: build-asan
	$(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

build-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=thread \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(QUICK_DEBUG) $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target korvan_thread_tests

test-tsan: build build-tsan
	scripts/thread-census $(BUILD_DIR)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  $(XVFB) ctest --test-dir build-tsan --label-regex '^threads$$' --output-on-failure -j $(JOBS)

sanitize: test-asan test-tsan

# The window's end at many moments of the threaded work (detection, update, download, settings
# run; closed or unplugged), 20 rounds of each under ThreadSanitizer. The normal suites run 3.
SOAK_REPEAT ?= 20
soak: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZER=thread \
	  -DKORVAN_BUILD_BENCHMARKS=OFF $(QUICK_DEBUG) $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target close_soak_test
	KORVAN_SOAK_REPEAT=$(SOAK_REPEAT) TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  build-tsan/tests/app/close_soak_test

# The programs against a real kernel: a qemu guest with Debian's kernel, whose usb-storage, sd
# and sg drivers meet the simulated detector as a USB gadget (tests/kernel/run-kernel-test).
# The programs are those of $(BUILD_DIR), the ones `make test` tested; the kernel is
# downloaded once into $(KORVAN_CACHE)/kernel/.
KERNEL_TEST_TARGETS = korvan korvan-emu korvan-gadget kernel_guest_helper
test-kernel: configure
	@scripts/install-deps kernel
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(KERNEL_TEST_TARGETS)
	KORVAN_KERNEL_CACHE=$(KORVAN_CACHE)/kernel bash tests/kernel/run-kernel-test $(BUILD_DIR)

# libFuzzer targets (clang, ASan+UBSan) in build-fuzz/, each run for FUZZ_SECONDS over its seeds
# in tests/fuzz/corpus/, $(JOBS) targets at a time; new inputs go to build-fuzz/corpus/, crashes
# to build-fuzz/findings/, each target's output to build-fuzz/logs/ (shown when it ends).
FUZZ_SECONDS ?= 600
FUZZ_TARGETS = zip_name_fuzz zip_extractor_fuzz settings_schema_fuzz settings_packet_fuzz \
  update_file_fuzz device_copy_fuzz parameters_ini_fuzz server_version_fuzz
build-fuzz: deps
	@scripts/install-deps fuzz
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DKORVAN_BUILD_FUZZERS=ON -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCHMARKS=OFF \
	  -DKORVAN_BUILD_UI=OFF $(FUZZ_DEBUG) $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)

fuzz: build-fuzz
	@printf '%s\n' $(FUZZ_TARGETS) | xargs -P $(JOBS) -I{} tests/fuzz/run-fuzz-target build-fuzz {} $(FUZZ_SECONDS)

# The Debian package, $(PACKAGE_DIR)/korvan-updater_<version>_<arch>.deb: the programs built
# without the tests, with Debian's hardening flags, stripped; dependencies from dpkg-shlibdeps.
PACKAGE_DIR ?= build-package
package: deps
	@scripts/install-deps package
	cmake -S . -B $(PACKAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCHMARKS=OFF -DKORVAN_BUILD_FUZZERS=OFF \
	  $(HARDENING) $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB

# Windows: everything cross-built with mingw-w64 into $(WINDOWS_BUILD_DIR), every test but the
# window's run under wine, then the window itself under wine on a virtual display (its picture in
# docs/windows-window-ready.png) and the command line's JSON compared with the Linux build's.
# What Debian does not package for mingw (wxWidgets, libcurl, minizip, GoogleTest) is built
# once from Debian's source packages into $(KORVAN_CACHE)/windows-deps-KEY/prefix, KEY a hash of
# the script, the toolchain file and the package versions it builds from, and reused by every
# later build on this machine. The tests run under one wine server of their own
# (scripts/windows-test). -O2, not Release's -O3: at -O3 mingw's GCC 12 warns of overlapping
# copies inside std::string that cannot happen (-Wrestrict), and warnings are errors.
WINDOWS_BUILD_DIR ?= build-windows
WINDOWS_PACKAGE_DIR ?= build-windows-package
WINDOWS_DEPS_DIR ?= $(KORVAN_CACHE)/windows-deps-$(shell scripts/windows-deps --key)
WINDOWS_PREFIX = $(abspath $(WINDOWS_DEPS_DIR))/prefix
windows: build
	@scripts/install-deps windows
	$(MAKE) windows-build

# Where the Windows dependencies of this checkout are (or will be) built; .ci/run builds them
# in the background while the Linux build runs.
.PHONY: windows-deps-prefix
windows-deps-prefix:
	@echo $(WINDOWS_PREFIX)

# The part of `windows` after the packages are in: the key of the dependencies' prefix is made
# of the installed versions.
.PHONY: windows-build
windows-build:
	scripts/windows-deps $(WINDOWS_PREFIX)
	cmake -S . -B $(WINDOWS_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKORVAN_WINDOWS_DEPS=$(WINDOWS_PREFIX) \
	  -DwxWidgets_CONFIG_EXECUTABLE=$(WINDOWS_PREFIX)/bin/wx-config \
	  -DKORVAN_BUILD_BENCHMARKS=OFF -DKORVAN_BUILD_FUZZERS=OFF
	cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS)
	scripts/windows-test $(WINDOWS_BUILD_DIR) -j $(JOBS)
	scripts/windows-window-check $(WINDOWS_BUILD_DIR) docs/windows-window-ready.png
	scripts/windows-compare-json $(BUILD_DIR) $(WINDOWS_BUILD_DIR)

# The portable zip and the installer of the Windows build, tried under wine.
windows-package: windows
	scripts/windows-package $(WINDOWS_BUILD_DIR) $(WINDOWS_PACKAGE_DIR)

format:
	@scripts/install-deps format
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

check-format:
	@scripts/install-deps format
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# The caches outside the clone stay: `rm -rf $(KORVAN_CACHE)` and `ccache -C` empty them.
clean:
	rm -rf build build-asan build-tsan build-fuzz build-package $(WINDOWS_BUILD_DIR) \
	  $(WINDOWS_PACKAGE_DIR)
