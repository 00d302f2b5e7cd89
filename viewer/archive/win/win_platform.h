// The archive component's system layer on Win32: drives and volume labels, files, code-page
// conversion, the string table, message boxes, the disk question and the password prompt.
#pragma once
#include <windows.h>

#include <string>

#include "viewer/archive/archive_core.h"

namespace vellumo {

// The table's text for `id` from the program's string table; false when it has none.
bool LoadMessageText(int id, std::string* text);

class WinArchivePlatform : public ArchivePlatform {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }

  bool FileExists(const std::string& path) override;
  std::string FullPath(const std::string& path) override;
  uint32_t LogicalDrives() override;
  bool VolumeLabel(const std::string& root, std::string* label) override;
  bool DriveTotalSize(const std::string& root, uint64_t* size) override;
  DriveKind DriveType(const std::string& root) override;
  std::unique_ptr<InputFile> OpenRead(const std::string& path) override;
  uint8_t OemToAnsi(uint8_t byte) override;
  std::string Utf8ToAnsi(const std::string& text) override;
  bool MessageText(int id, std::string* text) override;
  void ShowMessage(const std::string& text) override;
  bool AskForDisk(const std::string& text, bool stop_icon) override;
  std::string Prompt(const std::string& title, const std::string& prompt_line) override;
  void SetBusyCursor(bool busy) override;
  void ProcessMessages() override;
  std::unique_ptr<OutputFile> CreateTempZip(const std::string& folder, std::string* path,
                                            int* failed_id) override;
  void RemoveFile(const std::string& path) override;

 private:
  HWND owner_ = nullptr;
  HCURSOR saved_cursor_ = nullptr;
};

}  // namespace vellumo
