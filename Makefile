# Convenience wrapper around CMake and CTest.
#   make          build the program, the tools and the tests (build/)
#   make demo     build the program, the evaluator and the report tool, then run the de novo mode
#                 on the example (report, scores, demo_out/demo.html)
#   make test     build and run every test, then again under AddressSanitizer + UBSan, and the
#                 test of chains in threads under ThreadSanitizer; at the end, which tests were
#                 skipped and why (a tool they need is missing)
#   make memcheck one short run of every mode under valgrind memcheck
#   make fuzz     build the libFuzzer targets with clang (build-fuzz/) and run each for
#                 FUZZ_SECONDS (default 60), two at a time; fails when any target finds something
#   make fuzz-plateau  run each fuzz target until its coverage stops growing (10 quiet minutes,
#                 at least 1M executions; build-fuzz/plateau.txt)
#   make mutate   mutation run of tests/mutate/mutants.txt against the tests (build-mutate/mutants.md)
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all build demo test test-release test-asan test-tsan mutate memcheck fuzz fuzz-plateau clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# The demo needs only the program, the evaluator and the report tool, not the tests and benchmarks.
demo:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target Serevan serevan-eval serevan-report
	./examples/run_demo.sh $(BUILD)

# Each ctest run writes its results as JUnit (skipped.xml in the build folder); the skipped
# tests and the reasons they printed come last, also when a test failed.
SKIPPED = /usr/bin/python3 tests/skipped_tests.py

test: test-release test-asan test-tsan
	@echo "Skipped tests (install the missing tools to run them; .ci/run does):"
	@$(SKIPPED) $(BUILD)/skipped.xml release
	@$(SKIPPED) $(ASAN_BUILD)/skipped.xml asan

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --output-junit skipped.xml || \
	  { cd $(CURDIR) && $(SKIPPED) $(BUILD)/skipped.xml release; exit 1; }

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEREVAN_SANITIZE=ON -DSEREVAN_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) --output-junit skipped.xml || \
	  { cd $(CURDIR) && $(SKIPPED) $(ASAN_BUILD)/skipped.xml asan; exit 1; }

# The chains of -C in two threads under ThreadSanitizer (a race fails the run, so the test).
test-tsan:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEREVAN_TSAN=ON -DSEREVAN_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target serevan_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ./tests/serevan_tests --gtest_filter='DeNovoRun.Chains*'

memcheck:
	./tests/memcheck.sh

fuzz:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEREVAN_FUZZ=ON -DSEREVAN_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target serevan_fuzz_targets
	./tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-plateau:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEREVAN_FUZZ=ON -DSEREVAN_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target serevan_fuzz_targets
	./tests/fuzz/run.sh $(FUZZ_BUILD) 5
	./tests/fuzz/plateau.py $(FUZZ_BUILD)

mutate:
	/usr/bin/python3 tests/mutate/mutate.py

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
