# Thin wrapper over the CMake presets. `make run` builds the program alone and runs the shipped
# example in build/run/: CMake and a C++20 compiler are all it needs. `make test` first gets
# the packages the tests need (tools/install-packages), then builds and runs every test and
# lists the tests that skipped with their reasons.
.PHONY: all build run test sanitize fuzz clean web

# Extra arguments for the configure step of `make build` and `make run`, for instance
# CMAKE_ARGS=-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON to build as if GoogleTest were missing.
CMAKE_ARGS ?=

all: build

build:
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default

run:
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default --target plattor
	mkdir -p build/run
	cp examples/indata3.txt build/run/indata3.txt
	cd build/run && ../plattor

# The solver in a web page, in build/web: `python3 -m http.server -d build/web`, then
# http://localhost:8000. Emscripten builds it (tools/install-packages test installs it).
web:
	@command -v emcmake >/dev/null || { echo "make web needs Emscripten: apt-get install emscripten" >&2; exit 1; }
	cmake --preset default $(CMAKE_ARGS)
	cmake --build --preset default --target web

# CTest shows only that a test skipped; tools/skipped-tests lists which and why, pass or fail.
test:
	tools/install-packages test "make test"
	cmake --workflow --preset default; status=$$?; tools/skipped-tests build; exit $$status

sanitize:
	tools/install-packages test "make sanitize"
	cmake --workflow --preset sanitize; status=$$?; tools/skipped-tests build-sanitize; exit $$status

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
