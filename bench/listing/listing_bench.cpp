// listing_bench: opens a ZIP archive with the viewer's own directory reader (ArchiveCore)
// over plain POSIX reads, then sorts the names case-insensitively, as the viewer's list
// shows them.
//
//   listing_bench ARCHIVE               print the sorted names, one a line (timed as a process)
//   listing_bench ARCHIVE --runs N      time it in-process: one warm-up run, then N runs, a
//                                       line each: "TOTAL READ SORT" in ms (total: open, read
//                                       the directory, sort, free everything)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "viewer/archive/archive_core.h"

namespace {

using vellumo::ArchivePlatform;
using vellumo::DriveKind;
using vellumo::InputFile;
using vellumo::OutputFile;

class PosixInput : public InputFile {
 public:
  PosixInput(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixInput() override { ::close(fd_); }
  uint64_t Size() override { return size_; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    ssize_t got = ::pread(fd_, buffer, count, static_cast<off_t>(offset));
    return got < 0 ? 0 : static_cast<size_t>(got);
  }

 private:
  int fd_;
  uint64_t size_;
};

// What the reader needs from the system for one local file on a fixed drive "C:".
class PosixPlatform : public ArchivePlatform {
 public:
  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  std::string FullPath(const std::string& path) override {
    std::string full = "C:" + path;
    std::replace(full.begin(), full.end(), '/', '\\');
    return full;
  }
  uint32_t LogicalDrives() override { return 1u << 2; }
  bool VolumeLabel(const std::string&, std::string* label) override {
    *label = "BENCH";
    return true;
  }
  bool DriveTotalSize(const std::string&, uint64_t* size) override {
    *size = 1ull << 40;
    return true;
  }
  DriveKind DriveType(const std::string&) override { return DriveKind::Fixed; }
  std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixInput>(fd, static_cast<uint64_t>(st.st_size));
  }
  uint8_t OemToAnsi(uint8_t byte) override { return byte; }
  std::string Utf8ToAnsi(const std::string& text) override { return text; }
  bool MessageText(int, std::string*) override { return false; }
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "listing_bench: %s\n", text.c_str());
    failed = true;
  }
  bool AskForDisk(const std::string&, bool) override { return false; }
  std::string Prompt(const std::string&, const std::string&) override { return std::string(); }
  void SetBusyCursor(bool) override {}
  void ProcessMessages() override {}
  std::unique_ptr<OutputFile> CreateTempZip(const std::string&, std::string*, int* failed_id) override {
    *failed_id = 11009;
    return nullptr;
  }
  void RemoveFile(const std::string&) override {}

  bool failed = false;
};

// The names in the list's order: case-insensitive, ASCII letters folded to lower case as
// strcasecmp compares. Each name is folded once into one buffer; a multikey quicksort then
// looks at each character position once per partition instead of comparing whole names
// again and again, which matters when thousands of names share their folder prefixes.
struct Key {
  const unsigned char* text;  // folded
  uint32_t length;
  const std::string* name;
};

inline int CharAt(const Key& k, uint32_t depth) { return depth < k.length ? k.text[depth] : -1; }

void MultikeySort(Key* keys, size_t n, uint32_t depth) {
  while (n > 1) {
    if (n < 16) {  // insertion sort on the remaining suffixes
      for (size_t i = 1; i < n; ++i) {
        for (size_t j = i; j > 0; --j) {
          const Key& a = keys[j - 1];
          const Key& b = keys[j];
          uint32_t m = std::min(a.length, b.length);
          int c = m > depth ? std::memcmp(a.text + depth, b.text + depth, m - depth) : 0;
          if (c < 0 || (c == 0 && a.length <= b.length)) break;
          std::swap(keys[j - 1], keys[j]);
        }
      }
      return;
    }
    std::swap(keys[0], keys[n / 2]);
    int pivot = CharAt(keys[0], depth);
    size_t lt = 0, gt = n, i = 1;
    // keys[0..lt) < pivot... arranged as: [less | equal | unknown | greater]
    lt = 0;
    i = 0;
    while (i < gt) {
      int c = CharAt(keys[i], depth);
      if (c < pivot) {
        std::swap(keys[lt++], keys[i++]);
      } else if (c > pivot) {
        std::swap(keys[i], keys[--gt]);
      } else {
        ++i;
      }
    }
    MultikeySort(keys, lt, depth);
    MultikeySort(keys + gt, n - gt, depth);
    if (pivot < 0) return;  // the equal run holds names that all ended here
    keys += lt;
    n = gt - lt;
    ++depth;
  }
}

std::vector<const std::string*> SortCaseInsensitive(const std::vector<vellumo::DirEntry>& entries) {
  size_t total = 0;
  for (const vellumo::DirEntry& entry : entries) total += entry.FileName.size();
  std::vector<unsigned char> folded(total);
  std::vector<Key> keys(entries.size());
  size_t at = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].FileName;
    for (size_t j = 0; j < name.size(); ++j) {
      unsigned char c = static_cast<unsigned char>(name[j]);
      folded[at + j] = c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
    }
    keys[i] = Key{folded.data() + at, static_cast<uint32_t>(name.size()), &name};
    at += name.size();
  }
  MultikeySort(keys.data(), keys.size(), 0);
  std::vector<const std::string*> sorted(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) sorted[i] = keys[i].name;
  return sorted;
}

struct Listing {
  PosixPlatform platform;
  vellumo::ArchiveCore archive{platform};
  std::vector<const std::string*> sorted;
};

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Opens, reads the directory and sorts the names; false on failure. *read_done is when the
// directory had been read.
bool List(const std::string& path, Listing* listing, Clock::time_point* read_done = nullptr) {
  listing->archive.Unattended = true;
  listing->archive.SetZipFileName(path);
  if (read_done) *read_done = Clock::now();
  if (listing->platform.failed || listing->archive.EntryList().empty()) return false;
  listing->sorted = SortCaseInsensitive(listing->archive.EntryList());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--runs") == 0)) {
    std::fprintf(stderr, "usage: listing_bench ARCHIVE [--runs N]\n");
    return 2;
  }
  if (argc == 2) {
    // As a process: nothing is freed at the end, as a short-lived lister would not.
    auto* listing = new Listing;
    if (!List(argv[1], listing)) return 1;
    std::string out;
    for (const std::string* name : listing->sorted) {
      out += *name;
      out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::_Exit(0);
  }
  int runs = std::atoi(argv[3]);
  for (int i = 0; i <= runs; ++i) {
    Clock::time_point start = Clock::now(), read_done, sorted;
    {
      Listing listing;
      if (!List(argv[1], &listing, &read_done)) return 1;
      sorted = Clock::now();
    }
    Clock::time_point end = Clock::now();
    if (i > 0) {
      std::printf("%.3f %.3f %.3f\n", Ms(start, end), Ms(start, read_done), Ms(read_done, sorted));
    }
  }
  return 0;
}
