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

# The real-tool suite: leafsweep against the real package tool over scratch
# roots, once for each release of pkg in PKG_VERSIONS, the releases the
# target systems run: 2.8.4, the newest, and the older ones that DragonFly's
# DPorts or a system not upgraded since may still hold. Each is built once
# from its source into build-pkg/VERSION/ by tools/build-pkg.sh and tested in
# build-real/VERSION/ (tools/test-real.sh); "make test-real
# PKG_VERSIONS=1.19.2" runs one. With LEAFSWEEP_REAL_PKG in the environment
# (a BSD host's pkg), the suite runs once, against that tool.
PKG_VERSIONS = 2.8.4 2.0.6 1.21.3 1.19.2

test-real: deps
	JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" sh tools/test-real.sh $(PKG_VERSIONS)

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
	pkg=`sh tools/build-pkg.sh build-pkg 2.8.4` && \
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
