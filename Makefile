# The two everyday commands: `make run` and `make test`.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
JOBS ?= 2

.PHONY: all configure build run test bench stats clean

all: build

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/duolocus

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Long seeded statistical checks, kept out of `make test`.
stats: build
	cd $(BUILD) && ./duotests --gtest_filter='*Long*' --gtest_also_run_disabled_tests

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target duobench
	./$(BUILD)/duobench

clean:
	rm -rf $(BUILD)
