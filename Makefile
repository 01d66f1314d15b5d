# velmora: `make run` and `make test` set up everything they need.
PLAYLIST ?= examples/demo.m3u
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# The out-of-memory tests need allocations that fail instead of aborting.
ASAN_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

SCREEN_TESTS = $(filter-out %_win32,$(basename $(notdir $(wildcard tests/unit/test_screen_*.cpp))))

.PHONY: all deps build run test unit asan tsan fuzz bench load gallery screenshots windows windows-test windows-e2e clean

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/velmora "$(PLAYLIST)"

unit: build
	cd $(BUILD) && ctest -L unit --output-on-failure -j$(JOBS)

asan: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_E2E=OFF >/dev/null
	cmake --build $(BUILD)-asan -j$(JOBS)
	cd $(BUILD)-asan && $(ASAN_ENV) ctest -L unit --output-on-failure -j$(JOBS)

# The screen layer's backend thread against the program thread.
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_TSAN=ON -DVELMORA_E2E=OFF >/dev/null
	cmake --build $(BUILD)-tsan -j$(JOBS) --target $(SCREEN_TESTS)
	cd $(BUILD)-tsan && TSAN_OPTIONS=halt_on_error=1 ctest -R 'unit[.]test_screen' --output-on-failure

windows:
	bash tools/windows.sh build

# The Windows build's unit tests under Wine.
windows-test:
	bash tools/windows.sh test

# The end-to-end suite against velmora.exe under Wine.
windows-e2e: build
	bash tools/windows.sh e2e $(BUILD)/tests/e2e/e2e_tests

test: build asan tsan windows-test windows-e2e
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

fuzz:
	@bash tools/install-deps.sh fuzz
	bash tools/fuzz.sh $(FUZZ_SECONDS)

# The whole program on Xvfb against cp + sync (and a FAT32 image through
# fusefat); then the system calls per small file.
bench: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release -DVELMORA_E2E=OFF >/dev/null
	cmake --build $(BUILD)-release -j$(JOBS) --target copy_bench
	./$(BUILD)-release/bench/copy_bench
	./$(BUILD)-release/bench/copy_bench /var/tmp/velmora-bench syscalls

# A 100,000-entry playlist: peak memory and time per entry.
load: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release -DVELMORA_E2E=OFF >/dev/null
	cmake --build $(BUILD)-release -j$(JOBS) --target load_bench
	./$(BUILD)-release/bench/load_bench

gallery: build
	./$(BUILD)/velmora-gallery

screenshots: build
	@bash tools/install-deps.sh screenshots
	bash tools/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-release build-fuzz build-win
