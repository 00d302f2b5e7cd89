// A stand-in system for the archive component that holds one archive in memory: every path
// opens the same bytes (so each volume of a set is "there"), drives are readable,
// boxes are recorded and prompts answered with nothing. Drive kind, label and the answer
// to the insert-disk question can be set. Used by the fuzz target and the
// hostile-input tests.
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "viewer/archive/archive_core.h"

namespace vellumo::test {

class MemoryInput : public InputFile {
 public:
  MemoryInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() override { return size_; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    size_t n = count < size_ - offset ? count : static_cast<size_t>(size_ - offset);
    if (n) std::memcpy(buffer, data_ + offset, n);
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

class MemoryArchivePlatform : public ArchivePlatform {
 public:
  // `max_opens` bounds the work of a set that claims thousands of volumes.
  MemoryArchivePlatform(const uint8_t* data, size_t size, int max_opens = 256)
      : data_(data), size_(size), max_opens_(max_opens) {}

  std::vector<std::string> boxes;
  int opens = 0;
  DriveKind kind = DriveKind::Fixed;
  std::string label;        // of every drive
  bool insert_disk = false; // the answer to each insert-disk question

  bool FileExists(const std::string&) override { return true; }
  std::string FullPath(const std::string& path) override { return path; }
  uint32_t LogicalDrives() override { return 1u << 2; }  // C:
  bool VolumeLabel(const std::string&, std::string* out) override {
    *out = label;
    return true;
  }
  bool DriveTotalSize(const std::string&, uint64_t* size) override {
    *size = uint64_t(1) << 30;
    return true;
  }
  DriveKind DriveType(const std::string&) override { return kind; }
  std::unique_ptr<InputFile> OpenRead(const std::string&) override {
    if (++opens > max_opens_) return nullptr;
    return std::make_unique<MemoryInput>(data_, size_);
  }
  uint8_t OemToAnsi(uint8_t byte) override { return byte; }
  std::string Utf8ToAnsi(const std::string& text) override { return text; }
  bool MessageText(int, std::string*) override { return false; }
  void ShowMessage(const std::string& text) override { boxes.push_back(text); }
  bool AskForDisk(const std::string&, bool) override { return insert_disk; }
  std::string Prompt(const std::string&, const std::string&) override { return std::string(); }
  void SetBusyCursor(bool) override {}
  void ProcessMessages() override {}
  std::unique_ptr<OutputFile> CreateTempZip(const std::string&, std::string*,
                                            int* failed_id) override {
    *failed_id = 11027;
    return nullptr;
  }
  void RemoveFile(const std::string&) override {}

 private:
  const uint8_t* data_;
  size_t size_;
  int max_opens_;
};

}  // namespace vellumo::test
