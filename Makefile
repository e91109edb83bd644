# The README's two commands. Both install missing Debian packages first.
BUILD ?= build
JOBS ?= $(shell nproc)
GEN := cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

PREFIX ?= /usr/local

.PHONY: run test build deps configure asan fuzz install deb clean

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

# The program, tovan, the model, desktop entry, icons, metainfo, bus service
# file and man pages under $(PREFIX) (DESTDIR honoured).
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the same files under /usr, in $(BUILD)/ (install it
# with `sudo dpkg -i build/tovantts_*.deb` or `sudo apt install ./build/tovantts_*.deb`).
deb: build
	@cd $(BUILD) && cpack -G DEB

# The engine, text, PDF import and playback tests and the fuzz replays once
# more under AddressSanitizer and UBSan.
asan: deps
	@scripts/sanitize

# Each fuzz/ target for FUZZ_SECONDS (default 30) under libFuzzer, ASan and UBSan.
FUZZ_SECONDS ?= 30
fuzz: deps
	@JOBS=$(JOBS) scripts/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
