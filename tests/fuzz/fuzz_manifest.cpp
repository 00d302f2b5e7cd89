// The packer's manifest parser over arbitrary text: it either accepts the text or names the
// line that is wrong, never anything else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "packer/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  hollin::Manifest manifest;
  std::string error;
  bool ok = hollin::ParseManifest(text, &manifest, &error);
  // A failure always says "LINE: what".
  if (!ok && (error.empty() || error.find(": ") == std::string::npos)) std::abort();
  return 0;
}
