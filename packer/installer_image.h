// An installer or uninstaller opened for --list, --verify and --extract: where its package
// starts (the stamped offset) and where it ends. Every reader works on a view that ends at
// the package's end, which is decided here and nowhere else.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "installer/package/package_extent.h"
#include "installer/package/stream.h"

namespace hollin {

// A read-only view of the first `end` bytes of another stream.
class PrefixStream : public Stream {
 public:
  PrefixStream(Stream& base, uint64_t end) : base_(base), end_(end) {}
  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void*, size_t) override { return 0; }
  bool Seek(uint64_t position) override { return base_.Seek(position); }
  uint64_t Position() const override { return base_.Position(); }
  uint64_t Size() const override { return end_; }
  // Whether a read since the last reset wanted bytes past the end.
  bool ran_short() const { return ran_short_; }
  void reset_ran_short() { ran_short_ = false; }

 private:
  Stream& base_;
  uint64_t end_;
  bool ran_short_ = false;
};

struct InstallerImage {
  uint64_t file_size = 0;
  uint64_t package_offset = 0;
  bool offset_stamped = false;     // the offset came from the stub's stamped constant
  uint32_t stamped_offset = 0;     // the stamped value, when there is a marker
  bool has_marker = false;
  uint64_t package_end = 0;        // where the package ends
  PackageExtent extent;            // how: a certificate table after it, or the file's end
  std::unique_ptr<PackageView> view;      // the file as Hollin reads it: signing's fields as zeros
  std::unique_ptr<PrefixStream> package;  // the view up to package_end
};

// Finds the package in `file`: at `given_offset` when it is not 0, else at the stamped
// offset of the stub (the first marker whose value marks a stub holding exactly that one
// marker). False with a message when there is none or it lies past the end. The package
// ends where Hollin's self check ends it: before a code signature's certificate table.
bool LocateInstaller(Stream& file, const std::string& name, uint64_t given_offset,
                     InstallerImage* out, std::string* error);

}  // namespace hollin
