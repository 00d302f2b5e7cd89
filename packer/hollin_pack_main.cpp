// hollin-pack: builds a Hollin installer from a stub, a manifest and a folder of files, or
// lists the layout of an existing installer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "installer/package/stream.h"
#include "packer/extract.h"
#include "packer/list.h"
#include "packer/list_json.h"
#include "packer/pack.h"
#include "packer/sign.h"
#include "packer/verify.h"

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
    "       hollin-pack --list INSTALLER [--json] [--package-offset N]\n"
    "       hollin-pack --verify INSTALLER [--package-offset N]\n"
    "       hollin-pack --extract INSTALLER --to DIR [--force] [--only PATTERN]...\n"
    "                   [--with-texts] [--quiet] [--package-offset N]\n"
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

int Run(int argc, char** argv) {
  hollin::PackOptions options;
  hollin::SignOptions sign;
  std::string list_path, verify_path, extract_path;
  hollin::ExtractOptions extract;
  uint64_t package_offset = 0;
  bool root_given = false, json = false;
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
    } else if (arg == "--list" && i + 1 < argc && std::strcmp(argv[i + 1], "--json") == 0) {
      json = true;  // "--list --json PATH" as well as "--list PATH --json"
      ++i;
      if (!value(&list_path)) return Fail("--list needs a file");
    } else if (arg == "--list" && value(&list_path)) {
    } else if (arg == "--sign-cert" && value(&sign.certificate)) {
    } else if (arg == "--sign-key" && value(&sign.key)) {
    } else if (arg == "--sign-pass" && value(&sign.password_file)) {
    } else if (arg == "--timestamp" && value(&sign.timestamp_url)) {
    } else if (arg == "--verify" && value(&verify_path)) {
    } else if (arg == "--extract" && value(&extract_path)) {
    } else if (arg == "--to" && value(&extract.to)) {
    } else if (arg == "--only" && value(&v)) {
      extract.only.push_back(v);
    } else if (arg == "--force") {
      extract.force = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--with-texts") {
      extract.with_texts = true;
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

  if (!extract_path.empty()) {
    if (extract.to.empty()) return Fail("--extract needs --to DIR");
    auto file = hollin::FileStream::Open(extract_path, hollin::FileStream::Mode::kRead);
    if (!file) return Fail("cannot read " + extract_path);
    extract.package_offset = package_offset;
    hollin::ExtractReport report;
    std::string error;
    if (!hollin::ExtractInstaller(*file, extract_path, extract, progress == 0 ? nullptr : stdout,
                                  &report, &error))
      return Fail(error);
    for (const std::string& problem : report.problems)
      std::fprintf(stderr, "hollin-pack: %s\n", problem.c_str());
    if (progress != 0)
      std::printf("hollin-pack: %zu files written under %s\n", report.written, extract.to.c_str());
    return report.problems.empty() ? 0 : 1;
  }
  if (!verify_path.empty()) {
    auto file = hollin::FileStream::Open(verify_path, hollin::FileStream::Mode::kRead);
    if (!file) return Fail("cannot read " + verify_path);
    hollin::VerifyReport report;
    hollin::VerifyInstaller(*file, verify_path, package_offset, &report);
    if (!report.located) return Fail(report.faults.empty() ? "cannot read " + verify_path : report.faults[0]);
    for (const std::string& fault : report.faults)
      std::printf("%s: %s\n", verify_path.c_str(), fault.c_str());
    // Whether the certificate chain holds is osslsigncode verify's question, not ours.
    if (progress != 0 && report.has_signature)
      std::printf("%s: signed: a certificate table of %u bytes follows the package (its chain "
                  "is not checked here)\n", verify_path.c_str(), report.certificate_size);
    else if (progress != 0)
      std::printf("%s: not signed%s\n", verify_path.c_str(),
                  report.bad_security_entry ? " (the security entry names no certificate table after the package)" : "");
    if (report.ok()) {
      if (progress == 0) return 0;
      std::printf("%s: %s, %zu files, %llu bytes unpacked: every check holds\n", verify_path.c_str(),
                  report.uninstaller ? "uninstaller" : "installer", report.files,
                  static_cast<unsigned long long>(report.unpacked));
      return 0;
    }
    if (progress != 0)
      std::printf("%s: %zu fault%s\n", verify_path.c_str(), report.faults.size(),
                  report.faults.size() == 1 ? "" : "s");
    return 1;
  }
  if (!list_path.empty()) {
    std::string error;
    bool listed = json ? hollin::ListInstallerJson(list_path, package_offset, stdout, &error)
                       : hollin::ListInstaller(list_path, package_offset, stdout, &error);
    if (!listed) return Fail(error);
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

int main(int argc, char** argv) {
  // Whatever fails below (memory, threads, the runtime) ends as the one promised line.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  } catch (const std::exception& e) {
    return Fail(std::string("failed: ") + e.what());
  } catch (...) {
    return Fail("failed");
  }
}
