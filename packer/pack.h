// Packing: reads and compresses the manifest's files on all cores, then writes the installer
// through a temporary file that is renamed into place only when everything succeeded.
#pragma once
#include <string>
#include <vector>

#include "packer/manifest.h"

namespace hollin {

struct PackOptions {
  std::string stub_path;
  std::string manifest_path;
  std::string root;         // folder the manifest's file paths are relative to
  std::string output_path;
  unsigned jobs = 0;        // 0: every core
  bool progress = false;    // one line per file
};

struct PackReport {
  size_t files = 0;
  uint64_t unpacked = 0;
  uint64_t packed = 0;
  InstallerSummary installer;
};

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out);

// Checks that the stub carries exactly one package-offset marker stamped with its own length.
bool CheckStub(const std::vector<uint8_t>& stub, const std::string& path, std::string* error);

// Compresses `files` (paths under root) with `jobs` threads; results in manifest order.
bool PackFiles(const std::vector<ManifestFile>& files, const std::string& root, unsigned jobs,
               bool progress, std::vector<PackedFile>* out, std::string* error);

bool Pack(const PackOptions& options, PackReport* report, std::string* error);

}  // namespace hollin
