# netduel: `make play` to play, `make test` to run every test. See README.md.
SERVER_HOST ?=
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS := -G Ninja -DNETDUEL_SERVER_HOST=$(SERVER_HOST)
ifneq ($(CI),)
CMAKE_FLAGS += -DNETDUEL_WERROR=ON
endif

.PHONY: all deps build play test asan bench fuzz package screenshots plots clean

all: build

deps:
	scripts/install-deps

build:
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

play: deps
	$(MAKE) build
	./build/netduel

test: deps
	$(MAKE) build
	cd build && ctest --output-on-failure -j 2

asan: deps
	cmake -S . -B build-asan $(CMAKE_FLAGS) -DNETDUEL_SANITIZE=ON -DNETDUEL_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j 2

bench: deps
	$(MAKE) build
	cmake --build build --target bench_all
	for b in build/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

# libFuzzer on every network parser, FUZZ_SECONDS each; new finds join fuzz/corpus.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_FLAGS) -DNETDUEL_FUZZ=ON \
		-DNETDUEL_BENCH=OFF -DBUILD_TESTING=OFF
	cmake --build build-fuzz -j $(JOBS)
	scripts/fuzz-run build-fuzz $(FUZZ_SECONDS)

# The Debian package: build/netduel_VERSION_amd64.deb (scripts/package-check checks it).
package: deps
	$(MAKE) build
	cd build && cpack -G DEB

# The README's pictures: the real program captured under Xvfb (docs/screenshots), and the
# plots of the data files that bench_link and bench_soak write with --data (docs/data).
screenshots: deps
	$(MAKE) build
	scripts/screenshots build/netduel docs/screenshots

plots: deps
	scripts/plots docs/data docs/plots

clean:
	rm -rf build build-asan build-fuzz
