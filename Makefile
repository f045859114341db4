# Quick start: `make demo` runs the main job, `make test` runs every test.
JOBS ?= 2
SOURCES_DIRS := heston addin records src platform host tests bench examples

.PHONY: demo test bench format format-check deps deps-windows native native-clang native-asan \
	windows fuzz fuzz-build fuzz-slice fuzz-wine native-tsan

deps:
	@bash cmake/install-deps.sh native

deps-windows:
	@bash cmake/install-deps.sh native windows

# Configured when new, built when anything changed, silent when up to date (cmake/build-preset.sh).
native: deps
	@JOBS=$(JOBS) bash cmake/build-preset.sh native

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
	@JOBS=$(JOBS) bash cmake/build-preset.sh mingw32 heston_addin xllhost
	@JOBS=$(JOBS) bash cmake/build-preset.sh mingw64 heston_addin xllhost addin_fuzz_driver

# Of the native build the demonstration needs the add-in, xllhost and the workbook builder only.
demo: windows deps
	@JOBS=$(JOBS) bash cmake/build-preset.sh native heston_addin xllhost demo_workbook
	@bash cmake/run-demo.sh .

test: native native-clang native-asan native-tsan windows format-check
	cmake --preset native -DHESTON_WINE_TESTS=ON
	cmake --build --preset native -j $(JOBS) --target wine_test
	ctest --preset native
	ctest --preset native-clang
	ctest --preset native-asan

# The libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and its own short
# slice. `make test` runs the seeded driver's slice instead (tests fuzz_slice_* and
# wine_fuzz_slice_*), which needs no third build tree.
fuzz-build: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target addin_fuzz

fuzz-slice: fuzz-build
	ctest --preset fuzz

# A longer run: FUZZ_SECONDS per mode of libFuzzer mutating from the corpus (new inputs go to
# build/fuzz/corpus-*, the repository's corpus stays as it is).
FUZZ_SECONDS ?= 600
fuzz: fuzz-build
	for version in 11.0 12.0; do \
	    mkdir -p build/fuzz/corpus-$$version && \
	    HESTON_FUZZ_VERSION=$$version ./build/fuzz/addin_fuzz -max_total_time=$(FUZZ_SECONDS) \
	        -max_len=512 -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
	        build/fuzz/corpus-$$version tests/fuzz/corpus || exit 1; \
	done

# The 64-bit Windows add-in under Wine: FUZZ_CALLS random calls per mode from seed FUZZ_SEED.
FUZZ_CALLS ?= 100000
FUZZ_SEED ?= 1
fuzz-wine: windows
	bash tests/wine/wine-prefix.sh start $(CURDIR)/build/fuzz/wineprefix
	for version in 11.0 12.0; do \
	    WINEPREFIX=$(CURDIR)/build/fuzz/wineprefix WINEDEBUG=-all \
	        $$(command -v wine64 || echo /usr/lib/wine/wine64) build/mingw64/addin_fuzz_driver.exe \
	        Z:$(CURDIR)/dist/heston64.xll $$version $(FUZZ_SEED) $(FUZZ_CALLS) || exit 1; \
	done
	bash tests/wine/wine-prefix.sh stop $(CURDIR)/build/fuzz/wineprefix

bench:
	@bash cmake/install-deps.sh native bench
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	python3 bench/compare.py ./build/bench/bench/heston_bench ./build/bench/bench/heston_qlbench

format-check:
	@find $(SOURCES_DIRS) -name '*.cpp' -o -name '*.h' | xargs -r clang-format --dry-run --Werror

format:
	@find $(SOURCES_DIRS) -name '*.cpp' -o -name '*.h' | xargs -r clang-format -i
