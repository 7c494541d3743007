# The two entry points of the README: `make run` and `make test`.
# Everything else here is a step of one of them.

FUZZ_SECONDS ?= 30
APP := build/app/belvo

.PHONY: run test build deps test-deps unit-default unit-asan unit-tsan fuzz clean

run: deps build
	exec $(APP)

test: test-deps unit-default unit-asan unit-tsan fuzz

deps:
	@tools/install-deps.sh run

test-deps:
	@tools/install-deps.sh test

build:
	cmake --preset default >/dev/null
	cmake --build --preset default

unit-default unit-asan unit-tsan: unit-%:
	cmake --preset $* >/dev/null
	cmake --build --preset $*
	ctest --preset $*

fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	tools/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-tsan build-fuzz
