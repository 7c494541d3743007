# The entry points of the README: `make run`, `make test` and `make deb`.
# Everything else here is a step of one of them.

FUZZ_SECONDS ?= 30
# How long the end-to-end soak drives the program (seconds).
E2E_SOAK_SECONDS ?= 180
APP := build/app/belvo

.PHONY: run test build deps test-deps unit-default unit-asan unit-tsan e2e package deb debian13 perf fuzz clean

run: deps build
	exec $(APP)

# The end-to-end run and the package check need the default build, which
# unit-default makes.
test: test-deps unit-default unit-asan unit-tsan e2e package fuzz

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

# The real program in its own X server and sound server (tests/e2e/): every
# scenario on PulseAudio, then those about sound again on PipeWire (with
# WirePlumber and pipewire-pulse), the server most desktops now run, then a
# few on no sound server at all, straight on ALSA (a card of the rig's),
# then those about the window on a HiDPI desktop, once at GDK_SCALE=2 and
# once at Xft.dpi 192, then those about the window on a Wayland compositor
# (a headless sway): through its Xwayland, then as a native Wayland client
# at scale 1 and at an output scale of 2, there also with the output's
# scale changed while the program runs.
E2E_SOUND_SCENARIOS := start mouse keyboard no-sound sound-server-restart sound-server-hangs \
  default-sink soak
E2E_ALSA_SCENARIOS := start mouse no-sound
E2E_SCALE_SCENARIOS := start menus mouse keyboard about
# Those about the window, again on a Wayland compositor (a headless sway).
E2E_WAYLAND_SCENARIOS := start menus mouse keyboard about accessibility quit-wm quit-sigterm second-launch \
  display-lost
e2e: build
	status=0; \
	  E2E_SOAK_SECONDS=$(E2E_SOAK_SECONDS) tests/e2e/run-e2e.sh build --server pulse || status=1; \
	  E2E_SOAK_SECONDS=$(E2E_SOAK_SECONDS) tests/e2e/run-e2e.sh build --server pipewire \
	    $(E2E_SOUND_SCENARIOS) || status=1; \
	  tests/e2e/run-e2e.sh build --server alsa $(E2E_ALSA_SCENARIOS) || status=1; \
	  tests/e2e/run-e2e.sh build --server pulse --scale 2 $(E2E_SCALE_SCENARIOS) || status=1; \
	  tests/e2e/run-e2e.sh build --server pulse --scale 2:xft $(E2E_SCALE_SCENARIOS) || status=1; \
	  tests/e2e/run-e2e.sh build --server pulse --display xwayland $(E2E_WAYLAND_SCENARIOS) || status=1; \
	  tests/e2e/run-e2e.sh build --server pulse --display wayland $(E2E_WAYLAND_SCENARIOS) rescale fractional || status=1; \
	  tests/e2e/run-e2e.sh build --server pulse --display wayland:2 $(E2E_WAYLAND_SCENARIOS) rescale fractional || status=1; \
	  tests/e2e/weston-check.sh build || status=1; \
	  exit $$status

# The Debian package, in build-deb/ (tools/build-deb.sh), with lintian's
# errors shown and failing.
deb:
	@tools/install-deps.sh deb
	tools/build-deb.sh build-deb
	lintian --fail-on error build-deb/belvo_*.changes

# The package as make test checks it: built under Debian's compiler flags
# with warnings as errors, its unit tests run by the package's build, then
# lintian, the installed files and the installed program
# (tests/package/check-package.sh).
package: build
	@tools/install-deps.sh deb
	tools/build-deb.sh --werror build-deb
	tests/package/check-package.sh build-deb build

# What a newcomer on Debian 13 runs, in a fresh Debian 13 chroot of this
# machine's (tools/debian13-check.sh; needs root): the dependencies, the
# default build and its unit tests, the start, mouse and keyboard scenarios
# on both sound servers, and the package check.
debian13:
	tools/debian13-check.sh

# The performance budget beside SoX's play on both sound servers
# (bench/perf-budget.sh); not part of `make test`, since its numbers depend
# on the machine's load.
perf: build
	bench/perf-budget.sh build

fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	tools/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-tsan build-fuzz build-deb
