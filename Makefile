# Front door for building, testing and trying leafsweep. Plain POSIX make:
# the real work is done by CMake in $(BUILD).

BUILD = build
JOBS = 2
CMAKE_FLAGS =
# Where "make install" puts the program (sbin/) and its manual page
# (share/man/man8/): /usr/local for a port, /usr for the base system.
# DESTDIR, from the command line or the environment, is put in front of it.
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

# The real-tool suite, in a build directory of its own: leafsweep against
# the real package tool over scratch roots. The tool is LEAFSWEEP_REAL_PKG
# from the environment when set (a BSD host's pkg), else pkg built once into
# build-pkg/ by tools/build-pkg.sh.
test-real: deps
	pkg=`sh tools/build-pkg.sh build-pkg` && \
	cmake -S . -B build-real $(CMAKE_FLAGS) -DLEAFSWEEP_REAL_PKG="$$pkg" && \
	cmake --build build-real -j $(JOBS) --target real_tests && \
	cd build-real && ctest -j $(JOBS) -L real --output-on-failure

# The whole suite against the dialog library at the versions the target
# systems ship: DragonFly's base system (1.3-20200327) and the newest
# snapshot, which FreeBSD's devel/cdialog port follows (1.3-20251001). Each
# is built once from its source into build-dialogs/VERSION/ by
# tools/test-dialogs.sh, which builds and tests the program against it there.
DIALOG_VERSIONS = 1.3-20200327 1.3-20251001

test-dialogs: deps
	JOBS=$(JOBS) sh tools/test-dialogs.sh $(DIALOG_VERSIONS)

# The benchmarks (docs/benchmarks.md), built for speed in a directory of
# their own; the real-tool row needs the real tool too.
bench:
	sh tools/deps.sh libbenchmark-dev
	pkg=`sh tools/build-pkg.sh build-pkg` && \
	cmake -S . -B build-bench -DLEAFSWEEP_BENCH=ON -DCMAKE_BUILD_TYPE=Release -DLEAFSWEEP_REAL_PKG="$$pkg"
	cmake --build build-bench -j $(JOBS) --target startup_bench leaf_lines_bench last_look_bench
	build-bench/bench/startup_bench
	build-bench/bench/leaf_lines_bench
	build-bench/bench/last_look_bench

install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)

.PHONY: all configure deps test test-real test-dialogs demo bench install clean
