// The packer's manifest parser over arbitrary text: it either accepts the text or names the
// line that is wrong, never anything else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/stored_name.h"
#include "packer/manifest.h"

namespace {

// What every name the shared rule accepts must be: relative, without drive or stream, and
// without a part that the system reads as "." or "..".
void CheckAcceptedName(const std::string& name) {
  if (!vellumo::IsContainedName(name)) return;
  if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos)
    std::abort();
  std::string key = vellumo::FileSystemKey(name) + "\\";
  size_t start = 0;
  for (size_t end = key.find('\\'); end != std::string::npos; end = key.find('\\', start)) {
    std::string part = key.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") std::abort();
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  hollin::Manifest manifest;
  std::string error;
  bool ok = hollin::ParseManifest(text, &manifest, &error);
  // A failure always says "LINE: what".
  if (!ok && (error.empty() || error.find(": ") == std::string::npos)) std::abort();
  // Every stored name the manifest took passes the shared rule and forms a set the rule
  // accepts; every line of the input, taken as a name, is held to what the rule promises.
  vellumo::StoredNameSet names;
  std::string problem;
  for (const auto& f : manifest.files) {
    if (f.kind != hollin::ManifestFile::Kind::kFile) continue;  // a folder to store under
    if (!vellumo::IsContainedName(f.stored_name) || !names.Add(f.stored_name, "", &problem))
      std::abort();
  }
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    CheckAcceptedName(text.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
