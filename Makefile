# The two everyday commands: `make run` and `make test`.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
JOBS ?= 2

.PHONY: all configure build run test validate bench stats clean

all: build

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

# The console program alone: it needs only a compiler and CMake.
build: configure
	cmake --build $(BUILD) -j $(JOBS) --target duolocus

run: build
	./$(BUILD)/duolocus

test: configure
	cmake --build $(BUILD) -j $(JOBS) --target testdeps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The full validation against population-genetics theory (about ten minutes
# on two cores); it rewrites docs/validation.md with the table.
PYTHON ?= python3
validate: build
	$(PYTHON) tests/validation/validate.py --jobs $(JOBS) --program $(BUILD)/duolocus \
	  --report docs/validation.md

# Long seeded statistical checks, kept out of `make test`.
stats: configure
	cmake --build $(BUILD) -j $(JOBS) --target duotests
	cd $(BUILD) && ./duotests --gtest_filter='*Long*' --gtest_also_run_disabled_tests

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target duobench
	./$(BUILD)/duobench

clean:
	rm -rf $(BUILD)
