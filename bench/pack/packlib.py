"""Shared by the packing and installing benchmarks: the file set, a stub for hollin-pack, the
manifest for our packer and the .nsi script for makensis over the same files."""
import os
import resource
import statistics
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MARKER = b"HollinPkgOffset="


def make_files(folder, total, single=False):
    """Writes the generated file set (make_files.py) and returns its file names."""
    command = [sys.executable, os.path.join(HERE, "make_files.py"), folder, str(total)]
    if single:
        command.append("--single")
    out = subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout.decode()
    return out.split()


def stub_path(win_build, work):
    """The built Hollin stub when there is a Windows build; otherwise a stand-in the packer
    accepts (a stamped package-offset marker), which costs the packer the same."""
    built = os.path.join(win_build or "", "installer", "Hollin.exe")
    if win_build and os.path.exists(built):
        return built
    path = os.path.join(work, "stub.exe")
    image = bytearray(200 * 1024)
    image[4096:4096 + len(MARKER)] = MARKER
    image[4096 + len(MARKER):4096 + len(MARKER) + 4] = struct.pack("<I", len(image))
    with open(path, "wb") as f:
        f.write(image)
    return path


def write_manifest(path, names, default_folder="BenchProduct"):
    with open(path, "w", newline="\n") as f:
        f.write("[package]\ndisplay_name = Bench product\nmaker_notice = bench\n")
        f.write("default_folder = %s\n[files]\n" % default_folder)
        for name in names:
            f.write(name + "\n")


def write_nsi(path, folder, names, output):
    """An NSIS script installing the same files, zlib, not solid (makensis' default)."""
    with open(path, "w", newline="\n") as f:
        f.write('Name "Bench product"\nOutFile "%s"\nSetCompressor zlib\n' % output)
        f.write('InstallDir "$PROGRAMFILES\\BenchProduct"\nRequestExecutionLevel user\n')
        f.write('Page directory\nPage instfiles\nSection\nSetOutPath "$INSTDIR"\n')
        for name in names:
            f.write('File "%s"\n' % os.path.join(folder, name))
        f.write("SectionEnd\n")


def folder_bytes(folder, names):
    return sum(os.path.getsize(os.path.join(folder, n)) for n in names)


def interleaved(tools, runs, warmup=1, log=None):
    """Runs every tool once per round, round after round (one warm-up round not counted), so
    that load from other work on a shared machine falls on all of them alike rather than on
    whichever ran during a busy minute. `tools` maps a name to a callable returning its own
    (wall ms, cpu ms); returns name -> (median wall ms, median cpu ms)."""
    samples = {name: [] for name in tools}
    for round_number in range(warmup + runs):
        for name, run in tools.items():
            wall, cpu = run()
            if log:
                log("  %s: %.0f ms (cpu %.0f ms)%s" % (name, wall, cpu,
                                                      " warm-up" if round_number < warmup else ""))
            if round_number >= warmup:
                samples[name].append((wall, cpu))
    return {name: (statistics.median(w for w, _ in s), statistics.median(c for _, c in s))
            for name, s in samples.items()}


def process_timer(command, before=None, output=None, timeout=3600):
    """A callable for interleaved(): runs `before` (not timed), then the command, and returns
    its wall and CPU ms (user + system of the process and its threads). Output goes to a
    file (a pipe could be held open by helper processes the command leaves behind)."""
    def run():
        if before:
            before()
        with open(output or os.devnull, "w+b") as out:
            usage = resource.getrusage(resource.RUSAGE_CHILDREN)
            start = time.perf_counter()
            code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                  timeout=timeout).returncode
            wall = (time.perf_counter() - start) * 1000.0
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            if code != 0:
                text = ""
                if output:
                    out.seek(0)
                    text = out.read().decode(errors="replace")[-400:]
                raise RuntimeError("%r exited %d: %s" % (command, code, text))
        cpu = 1000.0 * (after.ru_utime - usage.ru_utime + after.ru_stime - usage.ru_stime)
        return wall, cpu
    return run
