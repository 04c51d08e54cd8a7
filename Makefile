# Thin wrapper over the CMake presets: `make run` builds and runs the shipped example in
# build/run/, `make test` builds and runs every test.
.PHONY: all build run test sanitize clean

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

clean:
	rm -rf build build-sanitize
