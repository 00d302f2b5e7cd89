// The portable part of the archive component: the ZIP directory reader (end record, Zip64,
// central directory, multi-volume sets), the numbered messages, the password requests, the
// unzip library's callback protocol and the joining of a volume set. Everything that touches
// the system goes through ArchivePlatform, so a fake platform tests all of it natively.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "viewer/archive/entry_stream.h"

namespace vellumo {

// One listed entry: the central-directory fields by name (sizes and offset widened to 64
// bits by a Zip64 extra field), the converted texts, the encrypted flag and the extra field.
struct DirEntry {
  // Ordered by size so the 100,000 entries of a large archive waste no padding.
  uint8_t VersionMadeBy = 0;
  uint8_t HostSystem = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t CompressionMethod = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLength = 0;
  uint16_t InternalAttributes = 0;
  uint32_t Crc32 = 0;
  uint32_t StartOnDisk = 0;
  uint32_t ExternalAttributes = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t RelativeOffset = 0;
  bool Encrypted = false;   // flag bit 0
  std::string FileName;     // "/" replaced by "\"
  std::string FileComment;
  std::vector<uint8_t> ExtraData;  // the extra field's bytes; empty when there is none
};

// The end-of-central-directory values, from the classic record or its Zip64 successor.
struct EndOfCentralRecord {
  uint32_t ThisVolume = 0;
  uint32_t CentralVolume = 0;
  uint64_t EntriesOnVolume = 0;
  uint64_t TotalEntries = 0;
  uint64_t CentralSize = 0;
  uint64_t CentralOffset = 0;  // as stored
  uint16_t CommentLength = 0;
  uint64_t RecordPosition = 0;  // file offset of the classic record
  uint64_t CentralEnd = 0;      // where the directory is taken to end (record or Zip64 record)
  bool Zip64 = false;
};

enum TCodePage { cpAuto, cpNone, cpOEM };

// Options of the library call; the viewer sets none.
enum TExtrOption : unsigned {
  ExtrDirNames = 1,
  ExtrOverWrite = 2,
  ExtrFreshen = 4,
  ExtrUpdate = 8,
  ExtrTest = 16,
};

enum TProgressType { NewFile, ProgressUpdate, EndOfBatch, TotalFiles2Process, TotalSize2Process };

// The component's error: the message id, the formatted text and whether it is to be shown.
// Raised only inside the component and caught at its operation boundaries.
class EArchive : public std::runtime_error {
 public:
  EArchive(int id, const std::string& text, bool display = true)
      : std::runtime_error(text), id_(id), display_(display) {}
  int Id() const { return id_; }
  bool Display() const { return display_; }

 private:
  int id_;
  bool display_;
};

// A file opened for reading; reads are positional so one reader can buffer freely.
class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual uint64_t Size() = 0;
  // Reads up to `count` bytes at `offset`; returns how many were read.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool Write(const void* data, size_t count) = 0;
  virtual uint64_t Position() = 0;
  // Gives the file the modification time of `source`; failures are ignored.
  virtual void CopyTimeFrom(const std::string& source) = 0;
};

enum class DriveKind { Unknown, Removable, Fixed, Remote, CdRom, RamDisk };

// What the component needs from the system.
class ArchivePlatform {
 public:
  virtual ~ArchivePlatform() = default;
  virtual bool FileExists(const std::string& path) = 0;
  virtual std::string FullPath(const std::string& path) = 0;
  virtual uint32_t LogicalDrives() = 0;  // bit 0 = A:
  // Volume label of a drive root; false when the drive cannot be read. Critical-error
  // boxes are suppressed by the platform.
  virtual bool VolumeLabel(const std::string& root, std::string* label) = 0;
  virtual bool DriveTotalSize(const std::string& root, uint64_t* size) = 0;
  virtual DriveKind DriveType(const std::string& root) = 0;
  // Opens for reading, denying others write access; nullptr when it cannot be opened.
  virtual std::unique_ptr<InputFile> OpenRead(const std::string& path) = 0;
  virtual uint8_t OemToAnsi(uint8_t byte) = 0;
  virtual std::string Utf8ToAnsi(const std::string& text) = 0;
  // The string table's text for `id`; false when the table has none.
  virtual bool MessageText(int id, std::string* text) = 0;
  // A modal box with one OK button, captioned with the application title.
  virtual void ShowMessage(const std::string& text) = 0;
  // The insert-disk question with OK and Cancel; true for OK.
  virtual bool AskForDisk(const std::string& text, bool stop_icon) = 0;
  // Modal password prompt; returns the accepted text or empty.
  virtual std::string Prompt(const std::string& title, const std::string& prompt_line) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  virtual void ProcessMessages() = 0;
  // A new, empty temporary file "zip*.zip" in `folder` (the system's when empty).
  // Returns nullptr and sets *failed_id (11027 or 11009) on failure.
  virtual std::unique_ptr<OutputFile> CreateTempZip(const std::string& folder, std::string* path,
                                                    int* failed_id) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
};

// Rewrites a numbered volume's name: the three characters before the extension become
// volume + 1 in three digits ("set001.zip" is volume 0). Unchanged when there are fewer
// than three characters before the extension.
std::string VolumeFileName(const std::string& path, int volume);
// "C:\" for a drive path, "\\server\share\" for a network path, empty when neither.
std::string DriveRootOf(const std::string& full_path);
// The callback record's text: up to its first zero byte, trailing blanks and control
// characters removed, "/" turned into "\".
std::string CallbackText(const uint8_t* record);

class ArchiveCore {
 public:
  explicit ArchiveCore(ArchivePlatform& platform);
  virtual ~ArchiveCore();
  ArchiveCore(const ArchiveCore&) = delete;
  ArchiveCore& operator=(const ArchiveCore&) = delete;

  // Stores the path and reads its directory at once.
  void SetZipFileName(const std::string& path);
  const std::string& ZipFileName() const { return zip_file_name_; }
  int EntryCount() const;
  const std::vector<DirEntry>& EntryList() const { return entries_; }
  const std::string& ArchiveComment() const { return archive_comment_; }
  uint64_t ArchiveStart() const { return archive_start_; }
  int SkippedDirectoryEntries() const { return skipped_; }
  bool MultiVolume() const { return multi_volume_; }
  int LastVolume() const { return last_volume_; }
  bool PositionsDiffer() const { return positions_differ_; }
  const std::string& DriveRoot() const { return drive_root_; }
  const std::string& VolumeLabelText() const { return volume_label_; }

  void SetPassword(const std::string& password) { password_ = password.substr(0, 255); }
  const std::string& Password() const { return password_; }
  void SetPasswordReqCount(int count) { password_req_count_ = count > 15 ? 15 : count; }
  int PasswordReqCount() const { return password_req_count_; }
  bool Busy() const { return busy_; }
  bool CancelRequested() const { return cancel_requested_; }
  void Cancel() { cancel_requested_ = true; }

  int ErrorCode() const { return error_code_; }
  // The whole error value of the library's last message (ErrorCode keeps its low byte).
  int FullErrorCode() const { return full_error_code_; }
  const std::string& LastMessage() const { return last_message_; }

  bool Unattended = false;
  bool Trace = false;
  bool Verbose = false;
  TCodePage CodePage = cpAuto;
  bool UseDirOnlyEntries = false;
  unsigned ExtrOptions = 0;  // TExtrOption bits
  std::vector<std::string> FSpecArgs;
  std::string TempDir;
  std::string ExtrBaseDir;

  // Events; none is assigned by the viewer.
  std::function<void(int sequence, const DirEntry& entry)> OnNewName;
  std::function<void()> OnDirUpdate;
  std::function<void(int error_code, const std::string& text)> OnMessage;
  // Answers a password request: may set `password` and change `count`.
  std::function<void(std::string& password, const std::string& file_name, int& count)>
      OnPasswordError;
  std::function<void(TProgressType type, const std::string& name, int64_t size)> OnProgress;
  // Asked instead of the insert-disk box; returns false to cancel.
  std::function<bool(int wanted_volume, int last_volume, const std::string& drive)> OnGetNextDisk;
  // Returns true with a changed name.
  std::function<bool(const std::string& old_name, std::string& new_name)> OnSetNewName;
  std::function<void(const std::string& name, uint32_t stored, uint32_t computed, bool& extract)>
      OnCRC32Error;
  std::function<void(const std::string& name, bool is_older, bool& overwrite)> OnExtractOverwrite;
  std::function<void(const std::string& name, int skip_type, int error_code)> OnExtractSkipped;
  std::function<void(const std::string& name, std::string& comment, bool& changed)> OnFileComment;

  // Messages by id: the table's text followed by `extra`, recorded, shown unless Unattended.
  void ShowArchiveMessage(int id, const std::string& extra = std::string());
  void ShowException(const EArchive& error);
  // A text without an id of ours (the library's own words, a failure's text), shown and
  // recorded the same way.
  void ShowMessageText(const std::string& text);
  // Boxes and prompts the component has put before the user so far.
  int ShownCount() const { return shown_count_; }
  // The table's text, or the missing-id text.
  std::string MessageText(int id);
  EArchive MakeError(int id);
  EArchive MakeError(int id, int value);
  EArchive MakeError(int id, const std::string& value);

  // Password requests for the library.
  std::string GetPassword();           // one prompt
  std::string GetConfirmedPassword();  // enter and confirm

  // Handles one callback record of the unzip library (kCallbackRecordSize bytes); returns
  // 0 to go on or -1 to stop.
  int32_t HandleCallback(uint8_t* record);

  // Re-reads the directory of ZipFileName.
  void ReadDirectory();
  bool FindEndRecord(bool raise, EndOfCentralRecord* record);

  // Joins the volumes of the current multi-volume set into one temporary file in `folder`
  // (the system's temporary folder when empty). Reports its own failures.
  bool JoinVolumes(const std::string& folder, std::string* joined_path);

 protected:
  ArchivePlatform& platform_;
  std::string password_;
  int password_req_count_ = 1;
  bool busy_ = false;
  bool cancel_requested_ = false;
  int64_t total_size_to_process_ = 0;
  // The library's last message text during the current call.
  std::string library_message_;
  int shown_count_ = 0;

 private:
  class VolumeReader;

  void ClearDirectory();
  void CheckDrive();
  // Converts a name or comment in place to the ANSI code page by the entry's flags and host.
  void ConvertText(std::string* text, uint8_t made_by, uint8_t host, uint16_t flags);
  void SwitchToVolume(int volume, bool wanted_known);
  void LocateVolume(int volume, bool wanted_known);
  bool ReadEndRecordOfCurrent(bool raise, EndOfCentralRecord* record);
  void ReadZip64(EndOfCentralRecord* record);
  void ParseCentralRecord(const uint8_t* header, DirEntry* entry);
  void ApplyZip64Extra(DirEntry* entry);
  size_t ReadOrNextVolume(void* buffer, size_t count);
  // The next `count` directory bytes: in place when the reader holds them, else gathered
  // into `spill` across volumes; nullptr when the set ends first.
  const uint8_t* NextBytes(size_t count, std::vector<uint8_t>* spill);
  void JoinInto(OutputFile& out);

  std::string zip_file_name_;
  std::vector<DirEntry> entries_;
  std::string archive_comment_;
  int skipped_ = 0;
  int last_volume_ = 0;
  bool multi_volume_ = false;
  bool set_start_ = false;
  int label_number_ = 0;
  uint64_t archive_start_ = 0;
  int64_t computed_position_ = 0;
  bool positions_differ_ = false;
  int64_t zip_end_ = 0;
  std::string drive_root_;
  std::string volume_label_;
  DriveKind drive_kind_ = DriveKind::Unknown;

  // The volume being read.
  int current_volume_ = -1;
  std::string volume_path_;
  std::unique_ptr<InputFile> file_;
  std::unique_ptr<VolumeReader> reader_;

  int error_code_ = 0;
  int full_error_code_ = 0;
  std::string last_message_;
};

}  // namespace vellumo
