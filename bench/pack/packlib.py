"""Shared by the packing and installing benchmarks: the file set, a stub for hollin-pack, the
manifest for our packer and the .nsi script for makensis over the same files."""
import os
import struct
import subprocess
import sys

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
