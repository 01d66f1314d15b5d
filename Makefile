# velmora: `make run` and `make test` set up everything they need.
PLAYLIST ?= examples/demo.m3u
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test unit e2e asan clean

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
	cd $(BUILD)-asan && ctest -L unit --output-on-failure -j$(JOBS)

test: build asan
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-asan
