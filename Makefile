# make run   - install what is missing, build, start the program against the simulated unit
MAKEFLAGS += --no-print-directory
# make test  - install what is missing, build, run every test
# make check-deps - fail if the build used a Debian package that scripts/deps.sh does not install
BUILD ?= build
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo

.PHONY: all deps build run test bench check-deps clean

all: build

deps:
	@scripts/deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) > /dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run.sh $(BUILD)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

bench: build
	@$(BUILD)/bench/link_roundtrip
	@$(BUILD)/bench/transfer_rate

check-deps:
	@scripts/check-deps.sh $(BUILD)

clean:
	rm -rf $(BUILD)
