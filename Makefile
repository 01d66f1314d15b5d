# velmora: `make run` and `make test` set up everything they need.
PLAYLIST ?= examples/demo.m3u
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# The out-of-memory tests need allocations that fail instead of aborting.
ASAN_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

.PHONY: all deps build run test unit asan fuzz bench gallery screenshots windows clean

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

test: build asan
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

fuzz:
	@bash tools/install-deps.sh fuzz
	bash tools/fuzz.sh $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release -DVELMORA_E2E=OFF >/dev/null
	cmake --build $(BUILD)-release -j$(JOBS) --target copy_bench
	./$(BUILD)-release/bench/copy_bench

gallery: build
	./$(BUILD)/velmora-gallery

screenshots: build
	@bash tools/install-deps.sh screenshots
	bash tools/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-release build-fuzz
