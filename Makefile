# The two everyday commands: `make run` and `make test`.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
JOBS ?= 2
# Checks for (and, as root on Debian, installs) what each target needs.
DEPS ?= tools/ensure-deps

.PHONY: all configure build batch catalogue run study test test-slurm validate bench bench-summary bench-python bench-web stats sanitize fuzz web serve docs clean

all: build

configure:
	@$(DEPS) run
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

# The console program alone: it needs only a compiler and CMake.
build: configure
	cmake --build $(BUILD) -j $(JOBS) --target duolocus

# The batch program (needs toml++ and CLI11).
batch: configure
	cmake --build $(BUILD) -j $(JOBS) --target duolocus-batch

# The settings catalogue for the Python package and the browser lab,
# written from the sources (commit it: a test fails while it is stale).
catalogue: configure
	cmake --build $(BUILD) -j $(JOBS) --target duolocus-catalogue
	./$(BUILD)/duolocus-catalogue python/duolocus/catalogue.json

run: build
	./$(BUILD)/duolocus

# A study from file to figures with the Snakemake workflow, JOBS jobs at a
# time: results/NAME/ gets the merged table NAME.csv, NAME.summary.txt and
# .csv, and figures/. STUDY_CONFIG passes more settings to the workflow
# (STUDY_CONFIG='trajectory=100').
STUDY ?= examples/studies/classroom.toml
STUDY_CONFIG ?=
study:
	@$(DEPS) study
	@$(MAKE) --no-print-directory batch
	snakemake -s workflow/Snakefile -j $(JOBS) --config study=$(abspath $(STUDY)) \
	  batch=$(abspath $(BUILD))/duolocus-batch $(STUDY_CONFIG)

test:
	@$(DEPS) test
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS) --target duotestall
	@if command -v emcc >/dev/null && command -v chromium >/dev/null && command -v npm >/dev/null; then \
	  $(MAKE) --no-print-directory web; \
	else echo "Skipping the browser lab (needs emscripten, chromium, node and npm: tools/ensure-deps web)"; fi
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The workflow through its Slurm profile on a single-node Slurm cluster
# started here for the test (as root; tools/slurm-cluster) and stopped after
# it, compared byte for byte with a local run.
SLURM_DIR ?= /tmp/duolocus-slurm
PYTHON ?= python3
test-slurm:
	@$(DEPS) slurm
	@$(MAKE) --no-print-directory batch
	tools/slurm-cluster start $(SLURM_DIR)
	SLURM_CONF=$(SLURM_DIR)/slurm.conf DUOLOCUS_BATCH_BIN=$(abspath $(BUILD))/duolocus-batch MPLBACKEND=Agg \
	  /usr/bin/python3 -m pytest -q -p no:cacheprovider -rs tests/python/test_slurm.py; \
	  status=$$?; tools/slurm-cluster stop $(SLURM_DIR); exit $$status

# The full validation against population-genetics theory (under a minute
# on two cores); it rewrites docs/validation.md with the table.
validate: build
	$(PYTHON) tests/validation/validate.py --jobs $(JOBS) --program $(BUILD)/duolocus --batch $(BUILD)/duolocus-batch \
	  --report docs/validation.md

# Long seeded statistical checks, kept out of `make test`.
stats: configure
	cmake --build $(BUILD) -j $(JOBS) --target duotests
	cd $(BUILD) && ./duotests --gtest_filter='*Long*' --gtest_also_run_disabled_tests

# The summary of a 1,000,000-row study: time and peak memory of the merge
# and of the summary (goal: under 20 s and 400 MB).
bench-summary: batch
	@$(DEPS) study
	/usr/bin/python3 bench/summary_bench.py --batch $(BUILD)/duolocus-batch

# run_many at scale: 100,000 small runs, the memory their results take and
# the time (goal: well under 1 GB), through the package as pip installs it.
bench-python: configure
	@$(DEPS) test
	cmake --build $(BUILD) -j $(JOBS) --target duolocus_engine
	/usr/bin/python3 bench/run_many_bench.py --engine-dir $(BUILD)/python/duolocus

# The documentation site (Sphinx, warnings as errors) into $(BUILD)/docs/html:
# the pages of docs/, the notebooks and the Python API from the docstrings.
docs:
	@$(DEPS) docs
	tools/build-docs $(BUILD)/docs/html

bench:
	@$(DEPS) bench
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS) --target duobench
	./$(BUILD)/duobench

# The whole test suite built with AddressSanitizer and UBSan, in its own
# build folder.
SANITIZE_BUILD ?= build-sanitize
sanitize:
	@$(DEPS) test
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUOLOCUS_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target duotestall
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

# libFuzzer over the whole dialogue for FUZZ_SECONDS, from the committed
# corpus and FUZZ_SESSIONS freshly generated sessions. New inputs collect in
# $(FUZZ_BUILD)/corpus; crashes are written to $(FUZZ_BUILD)/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_SESSIONS ?= 2000
fuzz:
	@$(DEPS) ci
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUOLOCUS_FUZZ=ON -DDUOLOCUS_WERROR=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target duofuzz
	python3 fuzz/gen_sessions.py --count $(FUZZ_SESSIONS) --out $(FUZZ_BUILD)/generated --seed $$(date +%s)
	mkdir -p $(FUZZ_BUILD)/corpus
	cd $(FUZZ_BUILD) && ./duofuzz -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=4096 \
	  -max_len=4096 corpus ../fuzz/corpus generated

# The browser lab (web/): the engine and the console program compiled by
# Debian's emscripten into $(WASM_BUILD), the page bundled with the npm
# packages of web/package-lock.json, all of it into $(WEB_OUT). Debian's
# emscripten runs its JavaScript optimizer with acorn from node-acorn, which
# a Node.js from elsewhere finds only through NODE_PATH.
WASM_BUILD ?= build-wasm
WEB_OUT ?= $(BUILD)/web
WEB_NODE_PATH ?= /usr/share/nodejs
PORT ?= 8000
web: web/node_modules/.package-lock.json
	@$(DEPS) web
	NODE_PATH=$(WEB_NODE_PATH) emcmake cmake -S . -B $(WASM_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_CXX_FLAGS=-msimd128 >/dev/null
	NODE_PATH=$(WEB_NODE_PATH) cmake --build $(WASM_BUILD) -j $(JOBS) --target duolocus-engine duolocus-console
	node web/build.mjs --wasm $(WASM_BUILD) --out $(WEB_OUT)

web/node_modules/.package-lock.json: web/package-lock.json web/package.json
	@$(DEPS) web
	cd web && npm ci --no-audit --no-fund

# Serves the built lab on this machine only; any static server would do.
serve: web
	@echo "The Duolocus lab: http://127.0.0.1:$(PORT)/  (Ctrl-C stops the server)"
	python3 -m http.server $(PORT) --bind 127.0.0.1 --directory $(WEB_OUT)

# The browser engine's time per generation against the native program's on
# the same 10,000-individual run (docs/performance.md keeps the figures).
bench-web: web batch
	node web/bench/bench.mjs --native $(BUILD)/duolocus-batch --web $(WEB_OUT)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(WASM_BUILD)
