# make test  — install what is missing, build with sanitizers, run every test
# make demo  — install what is missing, build Release, run the demo
# make bench — Release build, run every benchmark
JOBS ?= $(shell nproc)
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: deps test demo bench build-debug build-release clean

deps:
	@bash scripts/install-deps.sh

build-debug: deps
	@cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=Debug -DRUZAVE_SANITIZE=ON >/dev/null
	@cmake --build build -j $(JOBS)

test: build-debug
	@cd build && ctest --output-on-failure -j $(JOBS) --timeout 300

build-release: deps
	@cmake -S . -B build-release $(GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-release -j $(JOBS)

demo: build-release
	@if [ -x build-release/tools/demo/ruzave-demo ]; then build-release/tools/demo/ruzave-demo; \
	 else build-release/tools/adserver/ruzave-adserver --selfcheck; fi

bench: build-release
	@set -e; for b in build-release/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build build-release
