#include "viewer/archive/archive_core.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/byte_reader.h"
#include "unzip/unzip_interface.h"
#include "viewer/archive/message_ids.h"
#include "viewer/archive/volume_reader.h"
#include "viewer/archive/zip_layout.h"

namespace vellumo {

namespace {

// The format is a plain pointer: va_start after a reference parameter is undefined.
std::string FormatText(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return format;
  return std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

constexpr int kMaxDiskRequests = 100;

std::string ThreeDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%03d", value);
  return buffer;
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

void CopyAnswer(uint8_t* record, const std::string& text, size_t max_chars) {
  using namespace unzip;
  size_t n = std::min(text.size(), max_chars);
  n = std::min(n, kCallbackTextSize - 1);
  std::memcpy(record + kCallbackText, text.data(), n);
  record[kCallbackText + n] = 0;
}

// A WinZip AES entry is listed with the method its data is compressed with (from its
// 0x9901 field: version, "AE", key strength, method) and as encrypted.
void ApplyWinZipAesExtra(DirEntry* e) {
  ByteReader r(e->ExtraData.data(), e->ExtraData.size());
  while (r.remaining() >= 4) {
    uint16_t id = r.u16();
    uint16_t length = r.u16();
    const uint8_t* data = r.bytes(length);
    if (!data) return;
    if (id != zip::kWinZipAesExtraId || length < 7 || data[2] != 'A' || data[3] != 'E') continue;
    e->CompressionMethod = static_cast<uint16_t>(data[5] | (data[6] << 8));
    e->Encrypted = true;
    return;
  }
}

}  // namespace

std::string VolumeFileName(const std::string& path, int volume) {
  size_t component = path.find_last_of("\\/:");
  size_t stem_start = component == std::string::npos ? 0 : component + 1;
  size_t dot = path.rfind('.');
  size_t stem_end = (dot == std::string::npos || dot < stem_start) ? path.size() : dot;
  if (stem_end - stem_start < 3) return path;
  std::string result = path;
  result.replace(stem_end - 3, 3, ThreeDigits(volume + 1));
  return result;
}

std::string DriveRootOf(const std::string& full_path) {
  if (full_path.size() >= 2 && full_path[0] == '\\' && full_path[1] == '\\') {
    size_t server_end = full_path.find('\\', 2);
    if (server_end == std::string::npos) return full_path + "\\";
    size_t share_end = full_path.find('\\', server_end + 1);
    if (share_end == std::string::npos) return full_path + "\\";
    return full_path.substr(0, share_end + 1);
  }
  if (full_path.size() >= 2 && full_path[1] == ':') return full_path.substr(0, 2) + "\\";
  return std::string();
}

std::string CallbackText(const uint8_t* record) {
  const char* text = reinterpret_cast<const char*>(record + unzip::kCallbackText);
  size_t n = 0;
  while (n < unzip::kCallbackTextSize && text[n] != 0) ++n;
  while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= ' ') --n;
  std::string result(text, n);
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

ArchiveCore::ArchiveCore(ArchivePlatform& platform) : platform_(platform) {}
ArchiveCore::~ArchiveCore() = default;

int ArchiveCore::EntryCount() const {
  return zip_file_name_.empty() ? 0 : static_cast<int>(entries_.size());
}

void ArchiveCore::SetZipFileName(const std::string& path) {
  zip_file_name_ = path;
  ReadDirectory();
}

std::string ArchiveCore::MessageText(int id) {
  std::string text;
  if (platform_.MessageText(id, &text)) return text;
  return "Messages.res is probably not linked to the executable\nMissing String ID is: " +
         std::to_string(id);
}

EArchive ArchiveCore::MakeError(int id) { return EArchive(id, MessageText(id)); }
EArchive ArchiveCore::MakeError(int id, int value) {
  return EArchive(id, FormatText(MessageText(id).c_str(), value));
}
EArchive ArchiveCore::MakeError(int id, const std::string& value) {
  return EArchive(id, FormatText(MessageText(id).c_str(), value.c_str()));
}

void ArchiveCore::ShowArchiveMessage(int id, const std::string& extra) {
  std::string text = MessageText(id) + extra;
  last_message_ = text;
  error_code_ = id;
  ++shown_count_;
  if (!Unattended) platform_.ShowMessage(text);
  if (OnMessage) OnMessage(0, text);
}

void ArchiveCore::ShowMessageText(const std::string& text) {
  last_message_ = text;
  ++shown_count_;
  if (!Unattended) platform_.ShowMessage(text);
  if (OnMessage) OnMessage(0, text);
}

void ArchiveCore::ShowException(const EArchive& error) {
  ++shown_count_;
  if (error.Display() && !Unattended) platform_.ShowMessage(error.what());
  error_code_ = error.Id();
  last_message_ = error.what();
  if (OnMessage) OnMessage(0, last_message_);
}

std::string ArchiveCore::GetPassword() {
  if (Unattended) {
    ShowArchiveMessage(msg::kNoExtractPassword);
    return std::string();
  }
  ++shown_count_;
  return platform_.Prompt(MessageText(msg::kPasswordTitle), MessageText(msg::kEnterPassword));
}

std::string ArchiveCore::GetConfirmedPassword() {
  if (Unattended) {
    ShowArchiveMessage(msg::kNoAddPassword);
    return std::string();
  }
  ++shown_count_;
  std::string title = MessageText(msg::kPasswordTitle);
  std::string first = platform_.Prompt(title, MessageText(msg::kEnterPassword));
  if (first.empty()) return std::string();
  std::string second = platform_.Prompt(title, MessageText(msg::kConfirmPassword));
  if (second.empty()) return std::string();
  if (first != second) {
    ShowArchiveMessage(msg::kPasswordsDoNotMatch);
    return std::string();
  }
  return first;
}

int32_t ArchiveCore::HandleCallback(uint8_t* record) {
  using namespace unzip;
  std::string text = CallbackText(record);
  int32_t action = static_cast<int32_t>(RecordGet(record, kCallbackAction));
  int32_t code = static_cast<int32_t>(RecordGet(record, kCallbackErrorCode));
  int32_t size = static_cast<int32_t>(RecordGet(record, kCallbackSize));
  auto progress = [&](TProgressType type, const std::string& name, int64_t value) {
    if (OnProgress) OnProgress(type, name, value);
  };
  switch (action) {
    case kActionNewFile: progress(NewFile, text, size); break;
    case kActionProgress: progress(ProgressUpdate, std::string(), size); break;
    case kActionEndOfBatch: progress(EndOfBatch, std::string(), 0); break;
    case kActionMessage:
      last_message_ = text;
      library_message_ = text;
      if (code != 0) {
        error_code_ = code & 0xFF;
        full_error_code_ = code;
      }
      if (OnMessage) OnMessage(code, text);
      break;
    case kActionTotalFiles: progress(TotalFiles2Process, std::string(), size); break;
    case kActionTotalSize:
      total_size_to_process_ = size;
      progress(TotalSize2Process, std::string(), size);
      break;
    case kActionNewName:
      if (OnSetNewName) {
        std::string new_name = text;
        bool changed = OnSetNewName(text, new_name) && new_name != text;
        if (changed) CopyAnswer(record, new_name, kCallbackTextSize - 1);
        RecordSet(record, kCallbackErrorCode, changed ? 1 : 0);
      }
      break;
    case kActionPassword: {
      std::string answer;
      int count = size;
      if (OnPasswordError) {
        ++shown_count_;  // the handler's business: the component adds no box of its own
        OnPasswordError(answer, text, count);
      } else if (code & kPasswordConfirmBit) {
        answer = GetConfirmedPassword();
      } else {
        answer = GetPassword();
      }
      if (!answer.empty()) {
        CopyAnswer(record, answer, kMaxPasswordLength);
        RecordSet(record, kCallbackErrorCode, 1);
      } else {
        RecordSet(record, kCallbackErrorCode, 0);
        count = 0;
      }
      count = std::max(0, std::min(count, static_cast<int>(kMaxPasswordRequestCount)));
      RecordSet(record, kCallbackSize, static_cast<uint32_t>(count));
      break;
    }
    case kActionCrcError:
      if (OnCRC32Error) {
        bool extract = false;
        OnCRC32Error(text, static_cast<uint32_t>(code), static_cast<uint32_t>(size), extract);
        RecordSet(record, kCallbackErrorCode, extract ? 1 : 0);
      } else {
        RecordSet(record, kCallbackErrorCode, 2);
      }
      break;
    case kActionOverwrite:
      if (OnExtractOverwrite) {
        bool overwrite = (size & 0xFF) != 0;
        OnExtractOverwrite(text, (code & 1) == 1, overwrite);
        RecordSet(record, kCallbackSize, overwrite ? 1 : 0);
      }
      break;
    case kActionSkipped:
      if (code != 0) {
        error_code_ = code & 0xFF;
        full_error_code_ = code;
      }
      if (OnExtractSkipped) OnExtractSkipped(text, size & 0xFF, code);
      break;
    case kActionFileComment:
      if (OnFileComment) {
        std::string comment = text;
        bool changed = false;
        OnFileComment(text, comment, changed);
        if (changed) CopyAnswer(record, comment, 511);
        RecordSet(record, kCallbackErrorCode, changed ? 1 : 0);
        RecordSet(record, kCallbackSize,
                  static_cast<uint32_t>(std::min<size_t>(comment.size(), 511)));
      }
      break;
    default: break;
  }
  bool cancel = cancel_requested_;
  platform_.ProcessMessages();
  return cancel ? kCallbackStop : kCallbackContinue;
}

void ArchiveCore::ClearDirectory() {
  entries_.clear();
  skipped_ = 0;
  archive_comment_.clear();
  archive_start_ = 0;
  computed_position_ = 0;
  multi_volume_ = false;
  positions_differ_ = false;
}

void ArchiveCore::CheckDrive() {
  std::string root = DriveRootOf(platform_.FullPath(zip_file_name_));
  drive_root_ = root;
  std::string upper = UpperAscii(root);
  bool network = !upper.empty() && upper[0] == '\\';
  if (!network) {
    if (upper.empty() || upper[0] < 'A' || upper[0] > 'Z') throw MakeError(msg::kNotAValidDrive, root);
    if ((platform_.LogicalDrives() & (1u << (upper[0] - 'A'))) == 0)
      throw MakeError(msg::kDriveNotDefined, root);
  }
  std::string label;
  uint64_t total = 0;
  bool info = platform_.VolumeLabel(root, &label);
  bool sized = platform_.DriveTotalSize(root, &total);
  if (!info || !(network || sized)) throw MakeError(msg::kDriveNotDefined, root);
  volume_label_ = label.substr(0, 255);
  drive_kind_ = platform_.DriveType(root);
}

void ArchiveCore::ConvertText(std::string* text, uint8_t made_by, uint8_t host, uint16_t flags) {
  if (text->empty()) return;
  if (flags & zip::kFlagUtf8) {
    // Plain ASCII reads the same in UTF-8 and in every ANSI code page; most names are.
    bool ascii = std::all_of(text->begin(), text->end(),
                             [](char c) { return static_cast<uint8_t>(c) < 0x80; });
    if (!ascii) *text = platform_.Utf8ToAnsi(*text);
    return;
  }
  bool oem = CodePage == cpOEM ||
             (CodePage == cpAuto && (host == 0 || host == 6 || (host == 11 && made_by == 50)));
  if (!oem) return;
  for (char& c : *text) {
    uint8_t byte = static_cast<uint8_t>(c);
    if (byte >= 0x80) c = static_cast<char>(platform_.OemToAnsi(byte));
  }
}

bool ArchiveCore::FindEndRecord(bool raise, EndOfCentralRecord* record) {
  if (volume_path_.empty()) volume_path_ = zip_file_name_;
  reader_.reset();
  file_ = platform_.OpenRead(volume_path_);
  if (!file_) {
    if (raise) throw MakeError(msg::kInputFileMissing);
    ShowArchiveMessage(msg::kZipFileNotOpened);
    return false;
  }
  reader_ = std::make_unique<VolumeReader>(*file_);
  label_number_ = 0;
  const std::string kPrefix = zip::kBackupLabelPrefix;
  if (volume_label_.compare(0, kPrefix.size(), kPrefix) == 0) {
    std::string digits = volume_label_.substr(kPrefix.size(), 3);
    bool number = digits.size() == 3 &&
                  std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    label_number_ = number ? std::stoi(digits) : 0;
  }
  set_start_ = false;
  uint8_t start[8];
  if (file_->ReadAt(0, start, 8) == 8 && GetU32(start) == zip::kSpanSignature &&
      GetU32(start + 4) == zip::kLocalSignature) {
    set_start_ = true;
    multi_volume_ = true;
  }
  return ReadEndRecordOfCurrent(raise, record);
}

bool ArchiveCore::ReadEndRecordOfCurrent(bool raise, EndOfCentralRecord* record) {
  auto parse = [record](const uint8_t* p) {
    ByteReader r(p, zip::kEndRecordSize);
    r.skip(4);
    record->ThisVolume = r.u16();
    record->CentralVolume = r.u16();
    record->EntriesOnVolume = r.u16();
    record->TotalEntries = r.u16();
    record->CentralSize = r.u32();
    record->CentralOffset = r.u32();
    record->CommentLength = r.u16();
    record->Zip64 = false;
  };
  uint64_t size = file_->Size();
  uint8_t tail[zip::kEndRecordSize];
  if (size >= zip::kEndRecordSize &&
      file_->ReadAt(size - zip::kEndRecordSize, tail, zip::kEndRecordSize) == zip::kEndRecordSize &&
      GetU32(tail) == zip::kEndSignature) {
    parse(tail);
    zip_end_ = static_cast<int64_t>(size);
    record->RecordPosition = size - zip::kEndRecordSize;
    record->CentralEnd = record->RecordPosition;
    ReadZip64(record);
    return true;
  }
  size_t window = static_cast<size_t>(std::min<uint64_t>(size, zip::kMaxEndSearch));
  std::vector<uint8_t> buffer(window + 1, 0);
  if (file_->ReadAt(size - window, buffer.data(), window) != window) {
    if (!raise) return false;
    throw MakeError(msg::kReadEndOfCentral);
  }
  int64_t found = -1;
  for (int64_t i = static_cast<int64_t>(window) - 23; i >= 0; --i) {
    if (GetU32(&buffer[static_cast<size_t>(i)]) == zip::kEndSignature) {
      found = i;
      break;
    }
  }
  if (found < 0) {
    if (!raise) return false;
    if (!set_start_ && label_number_ != 0) throw MakeError(msg::kNthDiskOfSet, label_number_);
    if (!set_start_) throw MakeError(msg::kNotAValidZip);
    if (label_number_ == 1) throw MakeError(msg::kFirstDiskOfSet);
    throw MakeError(msg::kFirstFileOfSet);
  }
  size_t at = static_cast<size_t>(found);
  parse(&buffer[at]);
  record->RecordPosition = size - window + at;
  record->CentralEnd = record->RecordPosition;
  int64_t comment_end = static_cast<int64_t>(at) + zip::kEndRecordSize + record->CommentLength;
  int64_t w = static_cast<int64_t>(window);
  zip_end_ = static_cast<int64_t>(size);
  if (comment_end != w) {
    bool padding = comment_end < w && w - comment_end < 512 && size % 512 == 0 &&
                   std::all_of(buffer.begin() + comment_end, buffer.begin() + w,
                               [](uint8_t b) { return b == 0; });
    zip_end_ = static_cast<int64_t>(size) + (comment_end - w);
    if (!padding) ShowArchiveMessage(msg::kGarbageAtEnd);
  }
  if (record->CommentLength > 0) {
    size_t comment_start = at + zip::kEndRecordSize;
    size_t available = std::min<size_t>(record->CommentLength, window - comment_start);
    const char* p = reinterpret_cast<const char*>(&buffer[comment_start]);
    archive_comment_.assign(p, strnlen(p, available));
  }
  ReadZip64(record);
  return true;
}

void ArchiveCore::ReadZip64(EndOfCentralRecord* record) {
  bool saturated = record->ThisVolume == 0xFFFF || record->CentralVolume == 0xFFFF ||
                   record->EntriesOnVolume == 0xFFFF || record->TotalEntries == 0xFFFF ||
                   record->CentralSize == 0xFFFFFFFFu || record->CentralOffset == 0xFFFFFFFFu;
  if (!saturated || record->RecordPosition < zip::kZip64LocatorSize) return;
  uint64_t locator_position = record->RecordPosition - zip::kZip64LocatorSize;
  uint8_t locator[zip::kZip64LocatorSize];
  if (file_->ReadAt(locator_position, locator, sizeof locator) != sizeof locator ||
      GetU32(locator) != zip::kZip64LocatorSignature)
    return;
  ByteReader lr(locator, sizeof locator);
  lr.skip(8);
  uint64_t stored = lr.u64();
  // The stored position is wrong in a self-extractor whose offsets were not adjusted; the
  // record written right before the locator is the usual fallback.
  uint64_t candidates[2] = {stored, locator_position >= zip::kZip64EndSize
                                        ? locator_position - zip::kZip64EndSize
                                        : UINT64_MAX};
  for (uint64_t candidate : candidates) {
    if (candidate == UINT64_MAX || candidate > locator_position ||
        locator_position - candidate < zip::kZip64EndSize)
      continue;
    uint8_t end[zip::kZip64EndSize];
    if (file_->ReadAt(candidate, end, sizeof end) != sizeof end) continue;
    ByteReader r(end, sizeof end);
    if (r.u32() != zip::kZip64EndSignature) continue;
    uint64_t record_size = r.u64();
    if (record_size != locator_position - candidate - 12) continue;
    r.skip(4);  // versions
    uint32_t this_volume = r.u32();
    uint32_t central_volume = r.u32();
    uint64_t on_volume = r.u64();
    uint64_t total = r.u64();
    uint64_t central_size = r.u64();
    uint64_t central_offset = r.u64();
    if (record->ThisVolume == 0xFFFF) record->ThisVolume = this_volume;
    if (record->CentralVolume == 0xFFFF) record->CentralVolume = central_volume;
    if (record->EntriesOnVolume == 0xFFFF) record->EntriesOnVolume = on_volume;
    if (record->TotalEntries == 0xFFFF) record->TotalEntries = total;
    if (record->CentralSize == 0xFFFFFFFFu) record->CentralSize = central_size;
    if (record->CentralOffset == 0xFFFFFFFFu) record->CentralOffset = central_offset;
    record->CentralEnd = candidate;
    record->Zip64 = true;
    return;
  }
}

void ArchiveCore::LocateVolume(int volume, bool wanted_known) {
  if (drive_kind_ != DriveKind::Removable) {
    volume_path_ = VolumeFileName(zip_file_name_, volume);
    return;
  }
  if (Unattended) throw MakeError(msg::kUnattendedSpanning);
  const std::string wanted_label = zip::kBackupLabelPrefix + ThreeDigits(volume + 1);
  for (int attempt = 0;; ++attempt) {
    // A handler that keeps saying "go on" without a new disk must not hold the read forever.
    if (attempt == kMaxDiskRequests) throw MakeError(msg::kUserCanceled);
    bool go;
    if (OnGetNextDisk) {
      go = OnGetNextDisk(wanted_known ? volume + 1 : 0, last_volume_ + 1, drive_root_);
    } else {
      std::string text = wanted_known
                             ? FormatText(MessageText(msg::kInsertDiskVolume).c_str(), volume + 1, last_volume_ + 1)
                             : MessageText(msg::kInsertLastDisk);
      text += FormatText(MessageText(msg::kInDrive).c_str(), drive_root_.c_str());
      go = platform_.AskForDisk(text, !wanted_known);
    }
    if (!go) throw MakeError(msg::kUserCanceled);
    std::string label;
    if (platform_.VolumeLabel(drive_root_, &label) && (!wanted_known || label == wanted_label)) {
      volume_label_ = label;
      break;
    }
  }
  volume_path_ = zip_file_name_;
}

void ArchiveCore::SwitchToVolume(int volume, bool wanted_known) {
  reader_.reset();
  file_.reset();
  current_volume_ = volume;
  for (;;) {
    LocateVolume(volume, wanted_known);
    file_ = platform_.OpenRead(volume_path_);
    if (file_) break;
    // A numbered file that is not there will not appear by asking again.
    if (drive_kind_ != DriveKind::Removable) throw MakeError(msg::kInputFileMissing);
    ShowArchiveMessage(msg::kInputFileMissing);
  }
  reader_ = std::make_unique<VolumeReader>(*file_);
}

const uint8_t* ArchiveCore::NextBytes(size_t count, std::vector<uint8_t>* spill) {
  if (const uint8_t* in_place = reader_->Take(count)) return in_place;
  spill->resize(count);
  if (ReadOrNextVolume(spill->data(), count) < count) return nullptr;
  return spill->data();
}

size_t ArchiveCore::ReadOrNextVolume(void* buffer, size_t count) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  size_t done = reader_->Read(out, count);
  while (done < count && current_volume_ < last_volume_) {
    SwitchToVolume(current_volume_ + 1, true);
    done += reader_->Read(out + done, count - done);
  }
  return done;
}

void ArchiveCore::ParseCentralRecord(const uint8_t* header, DirEntry* e) {
  ByteReader r(header + 4, zip::kCentralHeaderSize - 4);
  e->VersionMadeBy = r.u8();
  e->HostSystem = r.u8();
  e->VersionNeeded = r.u16();
  e->Flags = r.u16();
  e->CompressionMethod = r.u16();
  e->ModTime = r.u16();
  e->ModDate = r.u16();
  e->Crc32 = r.u32();
  e->CompressedSize = r.u32();
  e->UncompressedSize = r.u32();
  e->FileNameLength = r.u16();
  e->ExtraFieldLength = r.u16();
  e->FileCommentLength = r.u16();
  e->StartOnDisk = r.u16();
  e->InternalAttributes = r.u16();
  e->ExternalAttributes = r.u32();
  e->RelativeOffset = r.u32();
}

void ArchiveCore::ApplyZip64Extra(DirEntry* e) {
  ByteReader r(e->ExtraData.data(), e->ExtraData.size());
  while (r.remaining() >= 4) {
    uint16_t id = r.u16();
    uint16_t length = r.u16();
    const uint8_t* data = r.bytes(length);
    if (!data) return;
    if (id != zip::kZip64ExtraId) continue;
    ByteReader field(data, length);
    if (e->UncompressedSize == 0xFFFFFFFFu) {
      uint64_t v = field.u64();
      if (field.ok()) e->UncompressedSize = v;
    }
    if (e->CompressedSize == 0xFFFFFFFFu) {
      uint64_t v = field.u64();
      if (field.ok()) e->CompressedSize = v;
    }
    if (e->RelativeOffset == 0xFFFFFFFFu) {
      uint64_t v = field.u64();
      if (field.ok()) e->RelativeOffset = v;
    }
    if (e->StartOnDisk == 0xFFFF) {
      uint32_t v = field.u32();
      if (field.ok()) e->StartOnDisk = v;
    }
    return;
  }
}

void ArchiveCore::ReadDirectory() {
  ClearDirectory();
  if (!platform_.FileExists(zip_file_name_)) {
    if (OnDirUpdate) OnDirUpdate();
    return;
  }
  platform_.SetBusyCursor(true);
  bool ok = false;
  int64_t start = 0;
  int64_t position = 0;
  uint64_t stored_offset = 0;
  try {
    volume_path_ = zip_file_name_;
    CheckDrive();
    EndOfCentralRecord record;
    FindEndRecord(true, &record);
    last_volume_ = static_cast<int>(record.ThisVolume);
    if (last_volume_ > 0) multi_volume_ = true;
    current_volume_ = last_volume_;
    stored_offset = record.CentralOffset;
    if (record.CentralVolume == record.ThisVolume) {
      position = record.CentralSize > record.CentralEnd
                     ? -1
                     : static_cast<int64_t>(record.CentralEnd - record.CentralSize);
    } else {
      SwitchToVolume(static_cast<int>(record.CentralVolume), true);
      position = static_cast<int64_t>(std::min<uint64_t>(record.CentralOffset, INT64_MAX));
      zip_end_ = static_cast<int64_t>(file_->Size());
    }
    computed_position_ = position;
    start = record.TotalEntries == 0 ? 0 : zip_end_;
    if (position < 0 || static_cast<uint64_t>(position) != record.CentralOffset) {
      positions_differ_ = true;
      ShowArchiveMessage(msg::kErrorInZipStructure);
    }
    if (position < 0 || static_cast<uint64_t>(position) > file_->Size())
      throw MakeError(msg::kSeekErrorReadingZip);
    reader_->Seek(static_cast<uint64_t>(position));
    // Never reserve more records than the directory, or the file, can hold.
    uint64_t room =
        std::min<uint64_t>(record.CentralSize, file_->Size()) / zip::kCentralHeaderSize + 1;
    entries_.reserve(static_cast<size_t>(std::min<uint64_t>(record.TotalEntries, room)));
    std::vector<uint8_t> spill;  // a record that runs past the buffer or onto the next volume
    for (uint64_t n = 0; n < record.TotalEntries; ++n) {
      const uint8_t* header = NextBytes(zip::kCentralHeaderSize, &spill);
      if (!header) throw MakeError(msg::kReadCentralHeader);
      if (GetU32(header) != zip::kCentralSignature) throw MakeError(msg::kCentralSignatureWrong);
      // Built where it is kept; a failure below clears the whole list anyway.
      DirEntry& entry = entries_.emplace_back();
      ParseCentralRecord(header, &entry);
      if (entry.FileNameLength > 0) {
        const uint8_t* name = NextBytes(entry.FileNameLength, &spill);
        if (!name) throw MakeError(msg::kReadCentralName);
        entry.FileName.assign(reinterpret_cast<const char*>(name), entry.FileNameLength);
      }
      if (entry.ExtraFieldLength > 0) {
        const uint8_t* extra = NextBytes(entry.ExtraFieldLength, &spill);
        if (!extra) throw MakeError(msg::kSeekErrorReadingZip);
        entry.ExtraData.assign(extra, extra + entry.ExtraFieldLength);
        ApplyZip64Extra(&entry);
      }
      if (entry.FileCommentLength > 0) {
        const uint8_t* comment = NextBytes(entry.FileCommentLength, &spill);
        if (!comment) throw MakeError(msg::kReadFileComment);
        entry.FileComment.assign(reinterpret_cast<const char*>(comment), entry.FileCommentLength);
      }
      std::string& name = entry.FileName;
      ConvertText(&name, entry.VersionMadeBy, entry.HostSystem, entry.Flags);
      ConvertText(&entry.FileComment, entry.VersionMadeBy, entry.HostSystem, entry.Flags);
      // Branch-free, so the compiler can do many bytes at a time.
      for (char& c : name) c = c == '/' ? '\\' : c;
      entry.Encrypted = (entry.Flags & zip::kFlagEncrypted) != 0;
      if (entry.CompressionMethod == zip::kMethodWinZipAes) ApplyWinZipAesExtra(&entry);
      uint64_t offset = entry.RelativeOffset;
      // A folder's name is empty or ends in a separator.
      bool folder = name.empty() || name.back() == '\\' || name.back() == ':';
      if (!UseDirOnlyEntries && folder) {
        ++skipped_;
        entries_.pop_back();
      } else if (OnNewName) {
        OnNewName(static_cast<int>(n + 1), entry);
      }
      if (offset < static_cast<uint64_t>(start)) start = static_cast<int64_t>(offset);
    }
    last_volume_ = static_cast<int>(record.ThisVolume);
    ok = true;
  } catch (const EArchive& error) {
    ShowException(error);
  } catch (const std::bad_alloc&) {
    ShowArchiveMessage(msg::kMemoryNotAvailable);
  } catch (const std::exception& error) {
    ShowArchiveMessage(msg::kUnknownListError, error.what());
  }
  platform_.SetBusyCursor(false);
  reader_.reset();
  file_.reset();
  if (!ok) {
    zip_file_name_.clear();
    entries_.clear();
    archive_start_ = 0;
  } else {
    int64_t adjusted = start + (position - static_cast<int64_t>(std::min<uint64_t>(stored_offset, INT64_MAX)));
    archive_start_ = adjusted < 0 ? 0 : static_cast<uint64_t>(adjusted);
  }
  if (OnDirUpdate) OnDirUpdate();
}

}  // namespace vellumo
