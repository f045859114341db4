#!/usr/bin/env python3
"""Runs the benchmark executables with JSON output and prints the figures side by side.

Usage: compare.py HESTON_BENCH [HESTON_QLBENCH]
Times are CPU times (the machine may be shared); ratios are other / ours.
"""
import json
import statistics
import subprocess
import sys


def run(executable):
    out = subprocess.run([executable, "--benchmark_format=json"], check=True,
                         capture_output=True, text=True).stdout
    return {b["name"]: b for b in json.loads(out)["benchmarks"]}


def seconds(bench):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[bench["time_unit"]]
    return bench["cpu_time"] * scale


def fmt(t):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if t >= scale:
            return f"{t / scale:.3g} {unit}"
    return f"{t / 1e-9:.3g} ns"


def main():
    results = run(sys.argv[1])
    if len(sys.argv) > 2:
        results.update(run(sys.argv[2]))
    rows = []

    def family_median(prefix):
        times = [seconds(b) for n, b in results.items() if n.startswith(prefix + "/")]
        return statistics.median(times) if times else None

    def row(label, ours, other, other_label, extra=""):
        if ours is None or other is None:
            return
        rows.append((label, fmt(ours), f"{other_label} {fmt(other)}", f"{other / ours:.2f}x",
                     extra))

    def counters(name):
        b = results.get(name, {})
        parts = []
        if "evaluations" in b:
            parts.append(f"{int(b['evaluations'])} evals")
        if "rmse" in b:
            parts.append(f"RMSE {b['rmse']:.3g}")
        return ", ".join(parts)

    def get(name):
        return seconds(results[name]) if name in results else None

    row("1. one price (median of 25)", family_median("BM_OnePrice_Ours"),
        family_median("BM_OnePrice_QuantLib"), "QuantLib")
    row("2. 40-option surface", get("BM_Surface40_Ours"), get("BM_Surface40_QuantLib"),
        "QuantLib")
    row("3. LM calibration, 40 options", get("BM_LevMar40_Ours"), get("BM_LevMar40_QuantLib"),
        "QuantLib", f"ours {counters('BM_LevMar40_Ours')}; "
        f"QuantLib {counters('BM_LevMar40_QuantLib')}")
    row("4. DE generation, 40 options", get("BM_DEGeneration"),
        get("BM_DEGeneration_Reference/iterations:3"), "straightforward")
    if "BM_DECalibration50" in results:
        rows.append(("4. DE calibration, 50 generations", fmt(get("BM_DECalibration50")), "",
                     "", ""))
    row("5. Monte Carlo 10000 x 100", get("BM_MonteCarloCall10000x100"),
        get("BM_MonteCarloCall10000x100_Reference"), "straightforward",
        f"{results['BM_MonteCarloCall10000x100']['path_steps_per_second'] / 1e6:.1f}M path "
        "steps/s" if "BM_MonteCarloCall10000x100" in results else "")
    row("6. LM calibration, DAX (104)", get("BM_LevMarDax_Ours"), get("BM_LevMarDax_QuantLib"),
        "QuantLib", f"ours {counters('BM_LevMarDax_Ours')}; "
        f"QuantLib {counters('BM_LevMarDax_QuantLib')}")

    def family_counter(prefix, counter):
        for n, b in results.items():
            if (n == prefix or n.startswith(prefix + "/")) and counter in b:
                return b[counter]
        return None

    def error_note(prefix):
        worst = family_counter(prefix, "worst_error")
        return "" if worst is None else f"worst error {worst:.2g}"

    ours_error = family_counter("BM_ContourPriceWorstError", "worst_error")
    ours_note = "" if ours_error is None else f"ours: worst error {ours_error:.2g}; "
    row("7. accurate price vs default engine (median of 25)", family_median("BM_ContourPrice"),
        family_median("BM_ContourQL_Default"), "QuantLib",
        ours_note + "QuantLib: " + error_note("BM_ContourQL_Default"))
    for config in ("Lobatto1e10", "Kronrod1e12", "OptimalCVLaguerre192",
                   "AndersenPiterbargLobatto", "Cos200", "Cos2000", "ExponentialFitting"):
        row(f"8. accurate price vs {config} (median of 25)", family_median("BM_ContourPrice"),
            family_median("BM_ContourQL_" + config), "QuantLib",
            "QuantLib: " + error_note("BM_ContourQL_" + config))
    row("9. eleven Greeks vs bump and reprice (median of 25)",
        family_median("BM_ContourGreeks"), family_median("BM_ContourQL_GreeksBump"),
        "QuantLib default engine")
    for label, name in (("10. Black implied volatility, one inversion",
                         "BM_BlackImpliedVolatility"),
                        ("10. model implied volatility (price + inversion)",
                         "BM_ModelImpliedVolatility"),
                        ("11. DAX surface (104), one batch call", "BM_ContourDaxBatch"),
                        ("11. DAX surface (104), with parameter derivatives",
                         "BM_ContourDaxBatchDerivatives")):
        if name in results:
            rows.append((label, fmt(get(name)), "", "", ""))
    row("12. accurate calibration, DAX (104)", get("BM_ContourCalibrationDax_Ours"),
        get("BM_ContourCalibrationDax_QuantLib"), "QuantLib LM",
        f"ours from no guess {counters('BM_ContourCalibrationDax_Ours')}; QuantLib from "
        f"v0 0.1, kappa 1, theta 0.1, sigma 0.5, rho -0.5 "
        f"{counters('BM_ContourCalibrationDax_QuantLib')}")
    if "BM_HestonCalibrateDax_Addin" in results:
        rows.append(("13. heston_Calibrate, DAX, add-in", fmt(get("BM_HestonCalibrateDax_Addin")),
                     "", "", "from no guess, through the native add-in"))
    if "BM_HestonPriceDax104_Addin" in results:
        per_option = get("BM_HestonPriceDax104_Addin") / 104
        rows.append(("14. heston_Price, 104-option array", fmt(get("BM_HestonPriceDax104_Addin")),
                     "", "", f"{fmt(per_option)} per option, through the native add-in"))

    # The calibrations on 2 threads against 1 (ours: 2 threads, other: the serial runner).
    for label, name in (("12. DE calibration, DAX, 50 generations, 2 threads vs 1",
                         "BM_DaxDifferentialEvolution50/2/iterations:2/real_time"),
                        ("12. LM calibration, DAX, 2 threads vs 1",
                         "BM_DaxLevenbergMarquardt/2/iterations:5/real_time"),
                        ("12. contour calibration from no guess, DAX, 2 threads vs 1",
                         "BM_DaxContourCalibration/2/iterations:10/real_time")):
        b = results.get(name)
        if b:
            rows.append((label, fmt(b["parallel_ms"] / 1e3), fmt(b["serial_ms"] / 1e3),
                         f"{b['speedup_wall']:.2f}",
                         f"thread-CPU speed-up {b['speedup_cpu']:.2f}; from task times "
                         f"{b['model_2']:.2f} on 2, {b['model_8']:.1f} on 8, "
                         f"{b['model_32']:.1f} on 32 threads; peak heap "
                         f"{b['heap_kb_1']:.0f} KB on 1, {b['heap_kb_N']:.0f} KB on 2"))

    # Finite differences: our default grid against the cheapest QuantLib run (any grid and
    # scheme of finite_difference_qlbench.cpp) whose error is no larger, and QuantLib's default
    # grid against the cheapest of our grids whose error is no larger.
    scheme_names = {0: "Hundsdorfer", 1: "MCS", 2: "mod. Hundsdorfer"}
    ql_runs = []
    for b in results.values():
        if not b["name"].startswith("BM_FdQL"):
            continue
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        parts = [int(p) for p in b["run_name"].split("/")[1:] if ":" not in p]
        case, scheme, damping, t, x, v = parts
        label = f"{t}x{x}x{v} {scheme_names[scheme]}" + (f" +{damping} damping" if damping else "")
        ql_runs.append((case, label, seconds(b), b["error"], (scheme, damping, t, x, v)))
    fd_cases = ((0, "Oosterlee's American put S=10"), (1, "QuantLib's American put"),
                (2, "up-and-out call"))
    # QuantLib's default scheme on its default grid times k (k = 1, 2, 3, 4).
    default_path = {(0, 0, 100 * k, 100 * k, 50 * k) for k in (1, 2, 3, 4)}
    for case, name in fd_cases:
        ours = results.get(f"BM_FdDefault_Ours/{case}")
        runs = [r for r in ql_runs if r[0] == case]
        if ours is None or not runs:
            continue
        grid = f"{int(ours['time_steps'])}x{int(ours['spot_points'])}x{int(ours['variance_points'])}"
        for label, family in (("its default scheme, default grid x k", [r for r in runs if r[4] in default_path]),
                              ("any scheme and grid run", runs)):
            reached = [r for r in family if abs(r[3]) <= abs(ours["error"])]
            if reached:
                best = min(reached, key=lambda r: r[2])
                rows.append((f"15. FD {name} vs QuantLib ({label}) at equal error",
                             fmt(seconds(ours)), f"QuantLib {fmt(best[2])}",
                             f"{best[2] / seconds(ours):.0f}x",
                             f"ours {grid} error {ours['error']:+.2e}; QuantLib {best[1]} error "
                             f"{best[3]:+.2e}"))
            elif family:
                finest = max(family, key=lambda r: r[2])
                rows.append((f"15. FD {name} vs QuantLib ({label}) at equal error",
                             fmt(seconds(ours)), f"QuantLib > {fmt(finest[2])}",
                             f"> {finest[2] / seconds(ours):.0f}x",
                             f"ours {grid} error {ours['error']:+.2e}; no QuantLib run reaches "
                             f"it, the slowest ({finest[1]}) has {finest[3]:+.2e}"))
        default = [r for r in runs if r[4] == (0, 0, 100, 100, 50)]
        coarse = [b for n, b in results.items()
                  if n.startswith(f"BM_FdCoarse_Ours/{case}/") or n == f"BM_FdDefault_Ours/{case}"]
        if default and coarse:
            target = abs(default[0][3])
            enough = [b for b in coarse if abs(b["error"]) <= target]
            if enough:
                mine = min(enough, key=seconds)
                rows.append((f"16. FD {name}, QuantLib's default grid vs ours at equal error",
                             fmt(seconds(mine)), f"QuantLib {fmt(default[0][2])}",
                             f"{default[0][2] / seconds(mine):.0f}x",
                             f"QuantLib 100x100x50 error {default[0][3]:+.2e}; ours "
                             f"{int(mine['time_steps'])}x{int(mine['spot_points'])}x"
                             f"{int(mine['variance_points'])} error {mine['error']:+.2e}"))

    header = ("case", "ours", "other", "other/ours", "notes")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(5)]
    for r in [header] + rows:
        print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())


if __name__ == "__main__":
    main()
