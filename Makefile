# Quick start: `make demo` runs the main job, `make test` runs every test.
JOBS ?= 2
SOURCES_DIRS := heston calibration addin records src platform host tests bench examples

.PHONY: demo test bench format format-check deps deps-windows native native-clang native-asan \
	native-tsan windows

deps:
	@bash cmake/install-deps.sh native

deps-windows:
	@bash cmake/install-deps.sh native windows

native: deps
	cmake --preset native
	cmake --build --preset native -j $(JOBS)

# The same native build and tests with clang, beside gcc.
native-clang: deps
	cmake --preset native-clang
	cmake --build --preset native-clang -j $(JOBS)

native-asan: deps
	cmake --preset native-asan
	cmake --build --preset native-asan -j $(JOBS)

# The tests of the calibrations' threads under ThreadSanitizer: only their own targets.
native-tsan: deps
	cmake --preset native-tsan
	cmake --build --preset native-tsan -j $(JOBS)
	ctest --preset native-tsan

# dist/heston32.xll and dist/heston64.xll, with the Windows xllhost.exe and XLCALL32.DLL that
# the Wine tests load them with; nothing else is built for Windows.
windows: deps-windows
	cmake --preset mingw32
	cmake --build --preset mingw32 -j $(JOBS) --target heston_addin xllhost
	cmake --preset mingw64
	cmake --build --preset mingw64 -j $(JOBS) --target heston_addin xllhost

demo: windows native
	@bash cmake/run-demo.sh .

test: native native-clang native-asan native-tsan windows format-check
	cmake --preset native -DHESTON_WINE_TESTS=ON
	cmake --build --preset native -j $(JOBS) --target wine_test
	ctest --preset native
	ctest --preset native-clang
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
