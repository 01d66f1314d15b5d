# velmora: `make run` and `make test` set up everything they need.
PLAYLIST ?= examples/demo.m3u
BUILD ?= build
PKG_BUILD ?= $(BUILD)-package
PREFIX ?= /usr/local
# Warnings become errors in our own test builds only (`make test` sets ON);
# left empty, a build keeps what its folder was configured with.
WERROR ?=
WERROR_OPT = $(if $(WERROR),-DVELMORA_WERROR=$(WERROR))
# The package's Release build shares compiler results across runs when it can.
CCACHE_OPT = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
BUILD_WIN ?= build-win
# The out-of-memory tests need allocations that fail instead of aborting.
ASAN_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

SCREEN_TESTS = $(filter-out %_win32,$(basename $(notdir $(wildcard tests/unit/test_screen_*.cpp))))

.PHONY: all deps deps-run program build run install package package-check test unit asan tsan fuzz bench load \
	gallery screenshots windows windows-test windows-e2e windows-package clean

all: build

deps:
	@bash tools/install-deps.sh test

deps-run:
	@bash tools/install-deps.sh run

# The program and the gallery alone: no test packages needed.
program: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TESTS=OFF $(WERROR_OPT) >/dev/null
	cmake --build $(BUILD) -j$(JOBS) --target velmora velmora-gallery

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TESTS=ON $(WERROR_OPT) >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: program
	./$(BUILD)/velmora "$(PLAYLIST)"

# Into $(PREFIX), under $(DESTDIR) when that is set; the binary stripped.
install: program
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

# The .deb, from a Release build of the program alone.
package:
	@bash tools/install-deps.sh package
	cmake -S . -B $(PKG_BUILD) -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF $(WERROR_OPT) $(CCACHE_OPT) >/dev/null
	cmake --build $(PKG_BUILD) -j$(JOBS) --target velmora
	cd $(PKG_BUILD) && cpack -G DEB

# The package's contents, lintian, the desktop entry and a run from the
# unpacked package.
package-check: package
	bash tests/package/check.sh $(PKG_BUILD)

unit: build
	cd $(BUILD) && ctest -L unit --output-on-failure -j$(JOBS)

asan: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_E2E=OFF -DVELMORA_WERROR=ON >/dev/null
	cmake --build $(BUILD)-asan -j$(JOBS)
	cd $(BUILD)-asan && $(ASAN_ENV) ctest -L unit --output-on-failure -j$(JOBS)

# The screen layer's backend thread against the program thread, and the
# copy engine's flushing and copying-ahead threads.
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_TSAN=ON -DVELMORA_E2E=OFF -DVELMORA_WERROR=ON >/dev/null
	cmake --build $(BUILD)-tsan -j$(JOBS) --target $(SCREEN_TESTS) test_velmora_engine
	cd $(BUILD)-tsan && TSAN_OPTIONS=halt_on_error=1 ctest -R 'unit[.](test_screen|test_velmora_engine)' --output-on-failure

# The Windows build: MinGW-w64 cross-compiles into $(BUILD_WIN); CTest runs
# its programs under Wine (cmake/wine.sh) and sets the prefix up itself.
WIN_CONFIGURE = cmake -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	-DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_OPT) $(CCACHE_OPT)

windows:
	@bash tools/install-deps.sh windows
	$(WIN_CONFIGURE) >/dev/null
	cmake --build $(BUILD_WIN) -j$(JOBS)

# The Windows build's unit tests under Wine.
windows-test: WERROR = ON
windows-test: windows
	@bash tools/install-deps.sh wine
	cd $(BUILD_WIN) && ctest -L unit --output-on-failure

# The end-to-end suite of the Linux build against velmora.exe under Wine.
windows-e2e: WERROR = ON
windows-e2e: build
	@bash tools/install-deps.sh windows wine
	$(WIN_CONFIGURE) -DVELMORA_E2E_TESTS=$(abspath $(BUILD))/tests/e2e/e2e_tests >/dev/null
	cmake --build $(BUILD_WIN) -j$(JOBS)
	cd $(BUILD_WIN) && ctest -L e2e --output-on-failure

# A zip of velmora.exe with its README and NOTICE.
windows-package:
	@bash tools/install-deps.sh windows
	$(WIN_CONFIGURE) >/dev/null
	cmake --build $(BUILD_WIN) -j$(JOBS) --target velmora
	cd $(BUILD_WIN) && cpack -G ZIP

# Every build it makes (and the ones it depends on) turns warnings into errors.
test: WERROR = ON
test: build asan tsan windows-test windows-e2e package-check
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Every libFuzzer target for FUZZ_SECONDS on its corpus; inputs that add
# coverage are merged into tests/fuzz/corpus/<target>/.
fuzz:
	@bash tools/install-deps.sh fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DVELMORA_FUZZ=ON \
		-DVELMORA_TESTS=OFF -DVELMORA_FUZZ_SECONDS=$(FUZZ_SECONDS) $(WERROR_OPT) $(CCACHE_OPT) >/dev/null
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target velmora_fuzzers
	cd $(FUZZ_BUILD) && ctest -L fuzz --output-on-failure

# The whole program on Xvfb against cp + sync (and a FAT32 image through
# fusefat); then the system calls per small file.
bench: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release -DVELMORA_E2E=OFF $(WERROR_OPT) >/dev/null
	cmake --build $(BUILD)-release -j$(JOBS) --target copy_bench
	./$(BUILD)-release/bench/copy_bench
	./$(BUILD)-release/bench/copy_bench /var/tmp/velmora-bench syscalls

# A 100,000-entry playlist: peak memory and time per entry.
load: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release -DVELMORA_E2E=OFF $(WERROR_OPT) >/dev/null
	cmake --build $(BUILD)-release -j$(JOBS) --target load_bench
	./$(BUILD)-release/bench/load_bench

gallery: program
	./$(BUILD)/velmora-gallery

screenshots: build
	@bash tools/install-deps.sh screenshots
	bash tools/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-release $(PKG_BUILD) $(FUZZ_BUILD) $(BUILD_WIN)
