#include "installer/package/package_offset.h"

namespace hollin {
namespace {

// The only place the marker text appears in Hollin's image; volatile so the compiler
// cannot fold the (later stamped) value into the code.
struct PackageOffsetStamp {
  char marker[kPackageOffsetMarkerLength];
  uint8_t value[4];
};
__attribute__((used)) volatile const PackageOffsetStamp g_package_offset_stamp = {
    {'H', 'o', 'l', 'l', 'i', 'n', 'P', 'k', 'g', 'O', 'f', 'f', 's', 'e', 't', '='},
    {0, 0, 0, 0}};

}  // namespace

uint32_t PackageOffset() {
  return uint32_t(g_package_offset_stamp.value[0]) |
         (uint32_t(g_package_offset_stamp.value[1]) << 8) |
         (uint32_t(g_package_offset_stamp.value[2]) << 16) |
         (uint32_t(g_package_offset_stamp.value[3]) << 24);
}

}  // namespace hollin
