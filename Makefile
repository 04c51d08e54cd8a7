# Thin wrapper over the CMake presets: `make run` builds and runs the shipped example in
# build/run/, `make test` builds and runs every test.
.PHONY: all build run test sanitize fuzz clean

all: build

build:
	cmake --preset default
	cmake --build --preset default

run: build
	mkdir -p build/run
	cp examples/indata3.txt build/run/indata3.txt
	cd build/run && ../plattor

test:
	cmake --workflow --preset default

sanitize:
	cmake --workflow --preset sanitize

# The input reader under libFuzzer (clang) for FUZZ_SECONDS, new inputs kept in build-fuzz/corpus.
FUZZ_SECONDS ?= 30
fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build-fuzz/corpus
	build-fuzz/tests/fuzz/plattor_input_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=512 \
	  build-fuzz/corpus tests/fuzz/seeds

clean:
	rm -rf build build-sanitize build-fuzz build-valgrind
