"""Compares the picture benchmark's runs of one `make bench`: the native build, the Windows
build under Wine, and the Windows build with libjpeg-turbo's SIMD code forced off
(JSIMD_FORCENONE=1), from Google Benchmark's JSON reports. CPU time, the median when the
benchmark was repeated. Prints a Markdown table.

    picture_summary.py <native.json> <windows.json> <windows-without-simd.json>
"""
import json
import sys

# The Windows build's decodes of the quality-85 photo against the native build's.
GOALS = {"BM_DecodePhotoFullSize/85": 1.3, "BM_DecodePhotoForWindow/85": 1.3}


def cpu_ms(path):
    """Benchmark name -> CPU time in ms: the median of repetitions, else the single run."""
    try:
        report = json.load(open(path))
    except (OSError, ValueError):
        return {}
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    single, median = {}, {}
    for b in report.get("benchmarks", []):
        name = b.get("run_name", b["name"])
        value = b["cpu_time"] * scale[b.get("time_unit", "ns")]
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                median[name] = value
        else:
            single.setdefault(name, value)
    single.update(median)
    return single


def figure(value):
    return "-" if value is None else ("%.3g" % value if value < 100 else "%.0f" % value)


native, windows, plain = (cpu_ms(p) for p in sys.argv[1:4])
print("| Benchmark (CPU time, ms) | native x86-64 | Windows i686 under Wine | ratio | goal | met "
      "| Windows, SIMD forced off | SIMD speed-up |")
print("|---|---|---|---|---|---|---|---|")
for name in native:
    n, w, p = native[name], windows.get(name), plain.get(name)
    ratio = w / n if w is not None and n else None
    goal = GOALS.get(name)
    met = "-" if goal is None or ratio is None else ("yes" if ratio <= goal else "NO")
    speed_up = "%.2fx" % (p / w) if p is not None and w else "-"
    print("| `%s` | %s | %s | %s | %s | %s | %s | %s |" % (
        name, figure(n), figure(w), "-" if ratio is None else "%.2f" % ratio,
        "-" if goal is None else "<= %.1f" % goal, met, figure(p), speed_up))
