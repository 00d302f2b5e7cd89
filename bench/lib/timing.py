"""Shared timing helpers for the bench/<subject>/run scripts (python3, stdlib only).

A run script imports this with
    sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "lib"))
    import timing
and prints one row per measured tool:
    print(timing.row("listing 100k", "ours", ours_ms, ours_ms, "zip, 100000 entries, 6 MB"))
"""
import os
import statistics
import subprocess
import sys
import time


def runs_from_env(default=5):
    """BENCH_RUNS, the counted repetitions (the warm-up run is extra)."""
    try:
        return max(1, int(os.environ.get("BENCH_RUNS", default)))
    except ValueError:
        return default


def quick():
    return os.environ.get("BENCH_QUICK") == "1"


def _run_once(cmd, cwd=None, env=None, stdout=subprocess.DEVNULL):
    """Runs one command (a list, or a string for the shell) and returns the wall time in ms."""
    start = time.perf_counter()
    done = subprocess.run(cmd, shell=isinstance(cmd, str), cwd=cwd, env=env,
                          stdout=stdout, stderr=subprocess.PIPE)
    ms = (time.perf_counter() - start) * 1000.0
    if done.returncode != 0:
        err = done.stderr.decode(errors="replace").strip()
        raise RuntimeError("%r exited %d: %s" % (cmd, done.returncode, err[-500:]))
    return ms


def samples_ms(cmd_or_callable, runs=None, warmup=1, **kwargs):
    """All counted samples in ms. A callable either returns its own measured ms (a number)
    or returns None and is timed from outside; a command is timed as a whole process."""
    runs = runs_from_env() if runs is None else runs
    result = []
    for i in range(warmup + runs):
        if callable(cmd_or_callable):
            start = time.perf_counter()
            own = cmd_or_callable()
            ms = (time.perf_counter() - start) * 1000.0 if own is None else float(own)
        else:
            ms = _run_once(cmd_or_callable, **kwargs)
        if i >= warmup:
            result.append(ms)
    return result


def median_ms(cmd_or_callable, runs=None, warmup=1, **kwargs):
    """Median wall time in ms over `runs` counted runs after `warmup` uncounted ones."""
    return statistics.median(samples_ms(cmd_or_callable, runs, warmup, **kwargs))


def interleaved_median_ms(named, runs=None, warmup=1, **kwargs):
    """Medians for several tools timed in turn, one run of each per round, so that load from
    other work on a shared machine falls on all of them alike. `named` is a list of
    (name, cmd_or_callable); returns {name: median ms}."""
    runs = runs_from_env() if runs is None else runs
    samples = {name: [] for name, _ in named}
    for i in range(warmup + runs):
        for name, what in named:
            ms = samples_ms(what, runs=1, warmup=0, **kwargs)[0]
            if i >= warmup:
                samples[name].append(ms)
    return {name: statistics.median(values) for name, values in samples.items()}


def fmt_ms(ms):
    if ms >= 100:
        return "%.0f" % ms
    if ms >= 10:
        return "%.1f" % ms
    return "%.2f" % ms


def row(benchmark, tool, ms, ours_ms, input_desc, ours=False):
    """One table row. For ours pass ours_ms=None, the same object as ms, or ours=True: the
    ratio column then shows "-"; for a peer the ratio is ours / peer (below 1: we are faster)."""
    if ours or ours_ms is None or ours_ms is ms:
        ratio = "-"
    else:
        ratio = "%.2f" % (ours_ms / ms) if ms > 0 else "-"
    return "| %s | %s | %s | %s | %s |" % (benchmark, tool, fmt_ms(ms), ratio, input_desc)


def log(*args):
    print(*args, file=sys.stderr, flush=True)
