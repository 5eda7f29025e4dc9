# The two set-up commands: `make run` and `make test`. Both install what the
# machine lacks, build, and then start the program or run every test.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run test bench clean

all: build

deps:
	./tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

# The program is started from the staged working folder, which holds
# server/Sayora_server_Tavrel; data.db and audio/ are written there.
run: build
	cd $(BUILD)/workdir && ./Sayora_Lumo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Benchmarks: never part of `make test`.
bench: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DLUMO_BENCH=ON
	cmake --build $(BUILD)-bench -j$(JOBS)
	cd $(BUILD)-bench && ./bench/run-all.sh

clean:
	rm -rf $(BUILD) $(BUILD)-bench
