# Front door for building, testing and trying leafsweep. Plain POSIX make:
# the real work is done by CMake in $(BUILD).

BUILD = build
JOBS = 2
CMAKE_FLAGS =
# Where "make install" puts the program (sbin/) and its manual page
# (man/man8/). DESTDIR, from the command line or the environment, is put in
# front of it.
PREFIX = /usr/local

all: configure
	cmake --build $(BUILD) -j $(JOBS)

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

deps:
	sh tools/deps.sh

test: deps all
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

demo: deps all
	sh demo/run-demo.sh $(BUILD)

# The benchmarks (docs/benchmarks.md), built for speed in a directory of
# their own.
bench:
	sh tools/deps.sh libbenchmark-dev
	cmake -S . -B build-bench -DLEAFSWEEP_BENCH=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS) --target startup_bench leaf_lines_bench
	build-bench/bench/startup_bench
	build-bench/bench/leaf_lines_bench

install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)

.PHONY: all configure deps test demo bench install clean
