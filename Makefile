# make test  — install what is missing, build with sanitizers, run every test
# make demo  — install what is missing, build Release, run the demo
# make bench — Release build, run every benchmark (all run; the make fails after them if one failed)
# make tsan  — ThreadSanitizer build in build-tsan, run every test under it
# make chaos — Release build, load CHAOS_LOADS (default 10000) banners each meeting a random fault
# make fuzz  — clang build with ASan+UBSan in build-fuzz, each libFuzzer target run FUZZ_SECONDS
JOBS ?= $(shell nproc)
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: deps test demo bench tsan chaos fuzz build-debug configure-release clean

deps:
	@bash scripts/install-deps.sh

build-debug: deps
	@cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=Debug -DRUZAVE_SANITIZE=ON >/dev/null
	@cmake --build build -j $(JOBS)

test: build-debug
	@cd build && ctest --output-on-failure -j $(JOBS) --timeout 300

configure-release: deps
	@cmake -S . -B build-release $(GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null

demo: configure-release
	@cmake --build build-release -j $(JOBS) --target ruzave-demo
	@build-release/tools/demo/ruzave-demo

bench: configure-release
	@cmake --build build-release -j $(JOBS) --target benchmarks
	@failed=""; for b in build-release/bench/bench_*; do \
	  [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	  "$$b"; rc=$$?; \
	  if [ $$rc -ne 0 ]; then echo "$$(basename $$b): failed (exit $$rc)"; failed="$$failed $$(basename $$b)"; fi; \
	done; \
	if [ -n "$$failed" ]; then echo "failed benchmarks:$$failed"; exit 1; fi

# Races outside our code (system libraries) are named, with the reason, in scripts/tsan.supp.
TSAN_OPTIONS_ALL := suppressions=$(CURDIR)/scripts/tsan.supp halt_on_error=1 second_deadlock_stack=1

tsan: deps
	@cmake -S . -B build-tsan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DRUZAVE_TSAN=ON >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS="$(TSAN_OPTIONS_ALL)" ctest --output-on-failure -j $(JOBS) --timeout 600

chaos: configure-release
	@cmake --build build-release -j $(JOBS) --target ruzave-chaos
	@build-release/tools/chaos/ruzave-chaos $(CHAOS_LOADS)

FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= 4
fuzz:
	@bash scripts/install-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GEN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
	  -DRUZAVE_SANITIZE=ON -DRUZAVE_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(FUZZ_JOBS) --target fuzzers
	@bash scripts/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_JOBS)

clean:
	rm -rf build build-release build-tsan build-fuzz
