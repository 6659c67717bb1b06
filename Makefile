# Two entry points: `make demo` and `make test`. Each installs what it lacks.
SHELL := /bin/bash
JOBS  := $(shell nproc 2>/dev/null || echo 2)

.PHONY: demo test deps fuzz

deps:
	@need=""; \
	command -v cmake >/dev/null || need="$$need cmake"; \
	command -v g++   >/dev/null || need="$$need g++"; \
	command -v make  >/dev/null || need="$$need make"; \
	command -v python3 >/dev/null || need="$$need python3"; \
	[ -f /usr/include/gtest/gtest.h ] || need="$$need libgtest-dev"; \
	if [ -n "$$need" ]; then \
	  echo "installing:$$need"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -q $$need; \
	fi

demo: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVOS_TESTS=OFF >/dev/null
	unset MAKEFLAGS MFLAGS MAKELEVEL; cmake --build build -j $(JOBS)
	bash examples/demo.sh build/bin

# Ninja where it is installed, for a build directory not yet configured (CMake
# keeps the generator of an existing one).
generator = $(if $(shell command -v ninja),$(if $(wildcard $(1)/CMakeCache.txt),,-G Ninja))

test: deps
	cmake -S . -B build-test $(call generator,build-test) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOS_SANITIZE=ON >/dev/null
	unset MAKEFLAGS MFLAGS MAKELEVEL; cmake --build build-test -j $(JOBS)
	cd build-test && ctest -j $(JOBS) --output-on-failure

# The fuzz targets of the prefix and net readers, FUZZ_TIME seconds each,
# with libFuzzer when clang++ is there (the readers then carry its coverage
# instrumentation), otherwise with a mutation loop.
FUZZ_TIME ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOS_SANITIZE=ON -DVOS_DIRS="testsupport;netlib;prefixcheck" \
	  $$(command -v clang++ >/dev/null && echo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link) >/dev/null
	unset MAKEFLAGS MFLAGS MAKELEVEL; cmake --build build-fuzz -j $(JOBS) --target fuzz_prefix_reader fuzz_net_reader
	bash prefixcheck/fuzz/run_fuzzers.sh build-fuzz $(FUZZ_TIME)
