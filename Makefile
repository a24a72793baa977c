# Front door for building, testing and trying leafsweep. Plain POSIX make:
# the real work is done by CMake in $(BUILD).

BUILD = build
JOBS = 2
CMAKE_FLAGS =

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

clean:
	rm -rf $(BUILD)

.PHONY: all configure deps test demo clean
