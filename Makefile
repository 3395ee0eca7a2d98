# make        build into build/ (executables in build/bin/)
# make run    install what is missing, build, open Tarnel on the sample table
# make test   install what is missing, build, run every test through CTest
# make install [PREFIX=/usr/local]   build and install the programs, help file, desktop entry
# make package                       build a Debian package (build/tarnel_VERSION_ARCH.deb)
BUILD ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean install package

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

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)
