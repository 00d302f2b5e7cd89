// --verify: checks an installer or uninstaller without running it, record by record, and
// reports every fault it finds.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "installer/package/stream.h"

namespace hollin {

struct VerifyReport {
  bool located = false;       // a package was found at all (else `faults` says why)
  bool uninstaller = false;
  uint64_t package_offset = 0;
  uint64_t package_end = 0;
  size_t files = 0;
  uint64_t unpacked = 0;      // sum of the blocks' sizes
  bool has_signature = false;        // a certificate table follows the package (not checked here)
  bool bad_security_entry = false;   // a security entry that names no such table
  uint32_t certificate_size = 0;
  std::vector<std::string> faults;  // one line each, in file order
  bool ok() const { return located && faults.empty(); }
};

// Checks the file behind `file` (its name is used in messages). package_offset 0: the
// stamped one. Never throws for bad input; a fault is a line in the report.
void VerifyInstaller(Stream& file, const std::string& name, uint64_t package_offset,
                     VerifyReport* report);

}  // namespace hollin
