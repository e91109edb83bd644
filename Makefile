# The README's two commands. Both install missing Debian packages first.
BUILD ?= build
JOBS ?= $(shell nproc)
GEN := cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: run test build deps configure asan clean

deps:
	@scripts/setup-deps

configure: deps
	@test -f $(BUILD)/build.ninja || $(GEN)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Runs the most complete thing the project has on the built-in development model.
run: build
	@scripts/run-main $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The engine, text, PDF import and playback tests once more under AddressSanitizer and UBSan.
asan: deps
	@scripts/sanitize

clean:
	rm -rf $(BUILD) build-asan
