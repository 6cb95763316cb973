# Set-up and build entry points; see README.md.
BUILD      ?= build
TEST_BUILD ?= build-asan
JOBS       ?= 2

.PHONY: all deps build test bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUBBO_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

# Tests run against the sanitizer build.
test: deps
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNUBBO_SANITIZE=ON -DNUBBO_TESTS=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@bash scripts/install-deps.sh --bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUBBO_TESTS=OFF -DNUBBO_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	bash bench/run.sh build-bench

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-bench
