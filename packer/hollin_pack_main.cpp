// hollin-pack: builds a Hollin installer from a stub, a manifest and a folder of files, or
// lists the layout of an existing installer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "packer/list.h"
#include "packer/pack.h"
#include "packer/sign.h"

#ifdef _WIN32
#include <io.h>
#define HOLLIN_ISATTY _isatty
#define HOLLIN_FILENO _fileno
#else
#include <unistd.h>
#define HOLLIN_ISATTY isatty
#define HOLLIN_FILENO fileno
#endif

namespace {

const char kUsage[] =
    "usage: hollin-pack --stub HOLLIN.EXE --manifest FILE [--root DIR] --output SETUP.EXE\n"
    "                   [--jobs N] [--progress | --quiet]\n"
    "                   [--sign-cert CERT --sign-key KEY [--sign-pass FILE] [--timestamp URL]]\n"
    "       hollin-pack --list INSTALLER [--package-offset N]\n"
    "The manifest format is described in packer/MANIFEST.md. --root defaults to the\n"
    "manifest's folder. With --sign-cert and --sign-key the installer is signed with\n"
    "osslsigncode (Authenticode, SHA-256) after packing.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "hollin-pack: %s\n", message.c_str());
  return 1;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

bool ParseNumber(const char* text, uint64_t max, uint64_t* out) {
  char* end = nullptr;
  if (!*text || *text == '-') return false;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (*end != '\0' || v > max) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  hollin::PackOptions options;
  hollin::SignOptions sign;
  std::string list_path;
  uint64_t package_offset = 0;
  bool root_given = false;
  int progress = -1;  // -1: on a terminal only
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--stub" && value(&options.stub_path)) {
    } else if (arg == "--manifest" && value(&options.manifest_path)) {
    } else if (arg == "--root" && value(&options.root)) {
      root_given = true;
    } else if (arg == "--output" && value(&options.output_path)) {
    } else if (arg == "--list" && value(&list_path)) {
    } else if (arg == "--sign-cert" && value(&sign.certificate)) {
    } else if (arg == "--sign-key" && value(&sign.key)) {
    } else if (arg == "--sign-pass" && value(&sign.password_file)) {
    } else if (arg == "--timestamp" && value(&sign.timestamp_url)) {
    } else if (arg == "--jobs" && value(&v)) {
      uint64_t jobs = 0;
      if (!ParseNumber(v.c_str(), 256, &jobs) || jobs == 0) return Fail("--jobs needs a number from 1 to 256");
      options.jobs = static_cast<unsigned>(jobs);
    } else if (arg == "--package-offset" && value(&v)) {
      if (!ParseNumber(v.c_str(), UINT32_MAX, &package_offset) || package_offset == 0)
        return Fail("--package-offset needs a positive number");
    } else if (arg == "--progress") {
      progress = 1;
    } else if (arg == "--quiet") {
      progress = 0;
    } else {
      std::fputs(kUsage, stderr);
      return Fail("unknown or incomplete option " + arg);
    }
  }

  if (!list_path.empty()) {
    std::string error;
    if (!hollin::ListInstaller(list_path, package_offset, stdout, &error)) return Fail(error);
    return 0;
  }
  if (options.stub_path.empty() || options.manifest_path.empty() || options.output_path.empty()) {
    std::fputs(kUsage, stderr);
    return Fail("--stub, --manifest and --output are required");
  }
  if (!root_given) options.root = FolderOf(options.manifest_path);
  options.progress = progress == -1 ? HOLLIN_ISATTY(HOLLIN_FILENO(stdout)) != 0 : progress == 1;

  hollin::PackReport report;
  std::string error;
  if (hollin::SignRequested(sign)) {
    // Packed beside the output first, so a failed signature leaves no unsigned installer
    // under the name the signed one was to have.
    if (sign.certificate.empty() || sign.key.empty()) return Fail("signing needs both --sign-cert and --sign-key");
    const std::string output = options.output_path;
    options.output_path = output + ".unsigned";
    sign.quiet = progress == 0;
    bool ok = hollin::Pack(options, &report, &error) &&
              hollin::SignInstaller(options.output_path, output, report.installer.package_offset,
                                    report.installer.self_check_value, sign, &error);
    std::remove(options.output_path.c_str());
    options.output_path = output;
    if (!ok) return Fail(error);
  } else if (!hollin::Pack(options, &report, &error)) {
    return Fail(error);
  }
  if (progress != 0) {
    std::printf("hollin-pack: %zu files, %llu bytes unpacked, %llu bytes packed; %s: package "
                "offset %llu, %llu bytes, self-check value %s\n",
                report.files, static_cast<unsigned long long>(report.unpacked),
                static_cast<unsigned long long>(report.packed), options.output_path.c_str(),
                static_cast<unsigned long long>(report.installer.package_offset),
                static_cast<unsigned long long>(report.installer.package_offset +
                                                report.installer.package_length),
                report.installer.self_check_value.c_str());
  }
  return 0;
}
