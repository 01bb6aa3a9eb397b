# make run   - install what running needs, build the programs, start the window against the simulated unit
# make test  - install what the tests need, build everything, run every test
# make package  - the Debian package (build/plovan_*.deb), checked by lintian when it is installed
# make check-deps - fail if the build used a Debian package that its tier of scripts/deps.sh does not install
#
# Each installs one tier of scripts/deps.sh (run, test or ci) and records it
# in the build folder.
MAKEFLAGS += --no-print-directory
BUILD ?= build
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo
CONFIGURE = scripts/configure.sh

.PHONY: all deps build build-run run test test-locale test-asan fuzz package bench check-deps clean

all: build

deps:
	@scripts/deps.sh test

# Only the programs: no tests, no benchmarks, no Windows control.
build-run:
	@scripts/deps.sh run
	@$(CONFIGURE) $(BUILD) run -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	@cmake --build $(BUILD) -j$(JOBS) --target programs

run: build-run
	@scripts/run.sh $(BUILD)

build:
	@scripts/deps.sh test
	@$(CONFIGURE) $(BUILD) test -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# The suite again under a German locale, with every temporary folder (the
# tests' settings folders among them) on a path with spaces and non-ASCII letters.
ODD_TMP = /tmp/plovan tëst ü
test-locale: build
	@mkdir -p "$(ODD_TMP)"
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen LC_ALL=de_DE.UTF-8 TMPDIR="$(ODD_TMP)" ctest --output-on-failure -j$(JOBS)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer,
# file by file (so a missing #include that a unity build hides still fails);
# any report fails it.
ASAN_BUILD ?= build-asan
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
test-asan:
	@scripts/deps.sh ci
	@$(CONFIGURE) $(ASAN_BUILD) ci -DPLOVAN_MAN_PAGES=OFF -DCMAKE_BUILD_TYPE=Debug -DCMAKE_UNITY_BUILD=OFF -DCMAKE_CXX_FLAGS="$(SANITIZE)" \
		-DCMAKE_C_FLAGS="$(SANITIZE)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE)"
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	@cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
		ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -j$(JOBS)

# Every parser of outside input under libFuzzer, ASan and UBSan, FUZZ_SECONDS each.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
FUZZ_FLAGS = -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
fuzz:
	@scripts/deps.sh ci
	@$(CONFIGURE) $(FUZZ_BUILD) ci -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DPLOVAN_FUZZ=ON -DBUILD_TESTING=OFF -DPLOVAN_WINDOWS_CONTROL=OFF -DPLOVAN_MAN_PAGES=OFF \
		-DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)" -DCMAKE_C_FLAGS="$(FUZZ_FLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
	@cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers
	@scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Debian package, in $(BUILD): plovan_<version>_<arch>.deb. Any lintian
# error or warning fails it.
package:
	@scripts/deps.sh ci
	@$(CONFIGURE) $(BUILD) ci -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	@cmake --build $(BUILD) -j$(JOBS)
	@cd $(BUILD) && rm -f plovan_*.deb && cpack -G DEB > /dev/null && ls -1 plovan_*.deb
	@if command -v lintian > /dev/null; then lintian --fail-on error,warning $(BUILD)/plovan_*.deb; fi

bench: build
	@$(BUILD)/bench/link_roundtrip
	@$(BUILD)/bench/transfer_rate
	@sh bench/file_memory.sh $(BUILD)/src/cli/plovanctl
	@$(BUILD)/bench/remote_rate

check-deps:
	@scripts/check-deps.sh $(BUILD)

clean:
	rm -rf $(BUILD)
