# make        build into build/ (executables in build/bin/)
# make run    install what is missing, build, open Tarnel on the sample table
# make test   install what is missing, build, run every test through CTest
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/setup-deps.sh

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: deps build
	$(BUILD)/bin/tarnel samples/features.dbf

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps build
	@echo "Benchmarks: see bench/README.md"

clean:
	rm -rf $(BUILD)
