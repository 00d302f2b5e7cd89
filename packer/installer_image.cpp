#include "packer/installer_image.h"

#include <algorithm>
#include <vector>

#include "installer/package/package_offset.h"
#include "packer/pack.h"

namespace hollin {
namespace {

// The marker lies inside the stub; stubs are far smaller than this.
constexpr uint64_t kMarkerSearchLimit = 64u << 20;

// The end of the package: the start of a code signature's certificate table, else the end
// of the file. The same rule as Hollin's, so the packer never reads a signature as package.
PackageExtent PackageEnd(Stream& file, uint64_t package_offset) {
  return ReadPackageExtent(file, package_offset);
}

}  // namespace

size_t PrefixStream::Read(void* buffer, size_t n) {
  uint64_t at = base_.Position();
  size_t want = at >= end_ ? 0 : static_cast<size_t>(std::min<uint64_t>(n, end_ - at));
  size_t got = want ? base_.Read(buffer, want) : 0;
  read_failed_ = want && base_.ReadFailed();
  if (got < n) ran_short_ = true;
  return got;
}

bool LocateInstaller(Stream& file, const std::string& name, uint64_t given_offset,
                     InstallerImage* out, std::string* error) {
  out->file_size = file.Size();
  if (out->file_size == UINT64_MAX) {
    *error = "cannot read " + name;
    return false;
  }
  std::vector<uint8_t> head;
  try {
    head.resize(static_cast<size_t>(std::min(out->file_size, kMarkerSearchLimit)));
  } catch (...) {
    *error = "out of memory";
    return false;
  }
  if (!ReadRange(file, 0, head.data(), head.size())) {
    *error = "cannot read " + name;
    return false;
  }
  uint8_t marker[kPackageOffsetMarkerLength];
  CopyPackageOffsetMarker(marker);
  auto found = std::search(head.begin(), head.end(), marker, marker + sizeof marker);
  if (found != head.end()) {
    size_t i = static_cast<size_t>(found - head.begin());
    uint32_t value = 0;
    size_t at = 0;
    // The stub is exactly as long as its value and holds exactly one marker.
    if (FindStampedPackageOffset(head.data(), std::min<size_t>(head.size(), i + kPackageOffsetStampLength),
                                 &value, &at) &&
        value >= i + kPackageOffsetStampLength) {
      out->has_marker = true;
      out->stamped_offset = value;
    }
  }
  out->package_offset = given_offset;
  if (given_offset == 0) {
    if (!out->has_marker) {
      *error = name + " has no stamped package offset; give --package-offset";
      return false;
    }
    out->package_offset = out->stamped_offset;
    out->offset_stamped = true;
  }
  if (out->package_offset > out->file_size) {
    *error = name + " is shorter than its package offset " + std::to_string(out->package_offset);
    return false;
  }
  out->extent = PackageEnd(file, out->package_offset);
  out->package_end = out->extent.end;
  out->view = std::make_unique<PackageView>(file, out->extent);
  out->package = std::make_unique<PrefixStream>(*out->view, out->package_end);
  return true;
}

}  // namespace hollin
