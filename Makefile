# Quick start: `make demo` runs the main job, `make test` runs every test.
JOBS ?= 2
SOURCES_DIRS := heston calibration addin src platform host tests bench examples

.PHONY: demo test bench format format-check deps native native-asan

deps:
	@bash cmake/install-deps.sh native

native: deps
	cmake --preset native
	cmake --build --preset native -j $(JOBS)

native-asan: deps
	cmake --preset native-asan
	cmake --build --preset native-asan -j $(JOBS)

demo: native
	./build/native/xllhost --excel12 ./build/native/heston_addin.xll examples/demo-workbook.csv

test: native native-asan format-check
	ctest --preset native
	ctest --preset native-asan

bench:
	@bash cmake/install-deps.sh native bench
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	python3 bench/compare.py ./build/bench/bench/heston_bench ./build/bench/bench/heston_qlbench

format-check:
	@find $(SOURCES_DIRS) -name '*.cpp' -o -name '*.h' | xargs -r clang-format --dry-run --Werror

format:
	@find $(SOURCES_DIRS) -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i
