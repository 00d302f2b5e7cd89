// A scripted stand-in for the system: real files underneath, drives, labels, message boxes,
// the disk question and the password prompt under the test's control, and every box recorded.
#pragma once
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/archive/zip_builder.h"
#include "viewer/archive/archive_core.h"

namespace vellumo::test {

class FakePlatform : public ArchivePlatform {
 public:
  FakePlatform();

  // Drive state. FullPath gives "<drive_prefix><path with \>" unless full_path is set.
  std::string drive_prefix = "C:";
  std::string full_path;
  uint32_t drives = 1u << 2;  // C:
  bool volume_readable = true;
  bool size_known = true;
  std::string label = "SYSTEM";
  DriveKind kind = DriveKind::Fixed;
  // Removable media: the disk in the drive is the one with this label; disk_files maps a
  // label to the file that disk holds. Each disk question takes the next scripted label to
  // insert, or "<cancel>".
  std::string inserted;
  std::map<std::string, std::string> disk_files;
  std::deque<std::string> disk_script;
  std::vector<std::string> disk_questions;

  std::vector<std::string> boxes;
  std::deque<std::string> prompt_answers;  // exhausted: the prompt is cancelled
  std::vector<std::pair<std::string, std::string>> prompts;
  int reads = 0;
  int pumps = 0;
  bool missing_table = false;

  bool FileExists(const std::string& path) override;
  std::string FullPath(const std::string& path) override;
  uint32_t LogicalDrives() override { return drives; }
  bool VolumeLabel(const std::string& root, std::string* out) override;
  bool DriveTotalSize(const std::string& root, uint64_t* size) override;
  DriveKind DriveType(const std::string&) override { return kind; }
  std::unique_ptr<InputFile> OpenRead(const std::string& path) override;
  uint8_t OemToAnsi(uint8_t byte) override;
  std::string Utf8ToAnsi(const std::string& text) override;
  bool MessageText(int id, std::string* text) override;
  void ShowMessage(const std::string& text) override { boxes.push_back(text); }
  bool AskForDisk(const std::string& text, bool stop_icon) override;
  std::string Prompt(const std::string& title, const std::string& prompt_line) override;
  void SetBusyCursor(bool) override {}
  void ProcessMessages() override { ++pumps; }
  std::unique_ptr<OutputFile> CreateTempZip(const std::string& folder, std::string* path,
                                            int* failed_id) override;
  void RemoveFile(const std::string& path) override;

 private:
  std::map<int, std::string> table_;
};

// The OEM bytes the fake converts, CP437 to CP1252; others become '_'.
uint8_t FakeOemToAnsi(uint8_t byte);
// UTF-8 to Latin-1, '?' for what Latin-1 lacks: what the fake's ANSI code page holds.
std::string FakeUtf8ToAnsi(const std::string& text);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// A fresh folder for one test.
std::string TempFolder(const std::string& name);
std::string FixtureDir();

}  // namespace vellumo::test
