// Joining a multi-volume set into one temporary archive for the unzip library, which reads
// single files only: every local entry is copied in order, then the central directory with
// the entries' new offsets, then an end record for a one-volume archive.
#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"
#include "viewer/archive/archive_core.h"
#include "viewer/archive/message_ids.h"
#include "viewer/archive/volume_reader.h"
#include "viewer/archive/zip_layout.h"

namespace vellumo {

namespace {

struct JoinRow {
  std::string raw_name;
  uint64_t compressed_size = 0;
  std::string central;  // the whole central record
  uint64_t new_offset = 0;
  bool copied = false;
};

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

int NumberBeforeExtension(const std::string& path) {
  size_t component = path.find_last_of("\\/:");
  size_t start = component == std::string::npos ? 0 : component + 1;
  size_t dot = path.rfind('.');
  size_t end = (dot == std::string::npos || dot < start) ? path.size() : dot;
  if (end - start < 3) return 0;
  int value = 0;
  for (size_t i = end - 3; i < end; ++i) {
    if (path[i] < '0' || path[i] > '9') return 0;
    value = value * 10 + (path[i] - '0');
  }
  return value;
}

}  // namespace

bool ArchiveCore::JoinVolumes(const std::string& folder, std::string* joined_path) {
  std::string out_path;
  try {
    int failed_id = msg::kTempFileNotCreated;
    std::unique_ptr<OutputFile> out = platform_.CreateTempZip(folder, &out_path, &failed_id);
    if (!out) throw MakeError(failed_id);
    try {
      JoinInto(*out);
      out->CopyTimeFrom(zip_file_name_);
    } catch (...) {
      out.reset();
      platform_.RemoveFile(out_path);
      throw;
    }
    out.reset();
    reader_.reset();
    file_.reset();
    *joined_path = out_path;
    return true;
  } catch (const EArchive& error) {
    ShowException(error);
  } catch (const std::exception& error) {
    ShowArchiveMessage(msg::kUnknownCopyError, error.what());
  }
  reader_.reset();
  file_.reset();
  return false;
}

void ArchiveCore::JoinInto(OutputFile& out) {
  // The volume with the end record.
  EndOfCentralRecord record;
  for (int attempt = 0;; ++attempt) {
    if (attempt == 100) throw MakeError(msg::kUserCanceled);  // see LocateVolume
    if (drive_kind_ == DriveKind::Removable) LocateVolume(0, false);
    else volume_path_ = zip_file_name_;
    if (FindEndRecord(false, &record)) break;
    if (drive_kind_ != DriveKind::Removable) {
      int number = NumberBeforeExtension(volume_path_);
      if (number == 1) throw MakeError(msg::kFirstDiskOfSet);
      throw MakeError(msg::kNthDiskOfSet, number);
    }
  }
  last_volume_ = static_cast<int>(record.ThisVolume);
  current_volume_ = last_volume_;

  // Every central record, across volumes.
  uint64_t position = 0;
  if (record.CentralVolume == record.ThisVolume) {
    if (record.CentralSize > record.CentralEnd) throw MakeError(msg::kReadCentralHeader);
    position = record.CentralEnd - record.CentralSize;
  } else {
    SwitchToVolume(static_cast<int>(record.CentralVolume), true);
    position = record.CentralOffset;
  }
  reader_->Seek(position);
  std::vector<JoinRow> rows;
  rows.reserve(static_cast<size_t>(std::min<uint64_t>(record.TotalEntries, 1u << 16)));
  for (uint64_t n = 0; n < record.TotalEntries; ++n) {
    uint8_t header[zip::kCentralHeaderSize];
    if (ReadOrNextVolume(header, sizeof header) < sizeof header) throw MakeError(msg::kReadCentralHeader);
    if (GetU32(header) != zip::kCentralSignature) throw MakeError(msg::kCentralSignatureWrong);
    size_t name_length = GetU16(header + 28);
    size_t tail_length = name_length + GetU16(header + 30) + GetU16(header + 32);
    JoinRow row;
    row.central.assign(reinterpret_cast<char*>(header), sizeof header);
    row.central.resize(sizeof header + tail_length);
    if (ReadOrNextVolume(&row.central[sizeof header], tail_length) < tail_length)
      throw MakeError(msg::kReadCentralExtra);
    row.raw_name = row.central.substr(sizeof header, name_length);
    row.compressed_size = GetU32(header + 20);
    rows.push_back(std::move(row));
  }

  // The entries in archive order, from volume 0 on.
  SwitchToVolume(0, true);
  uint8_t signature[4];
  if (reader_->Read(signature, 4) < 4 || GetU32(signature) != zip::kSpanSignature)
    throw MakeError(msg::kExtendedLocalSignature);
  std::vector<uint8_t> chunk(64 * 1024);
  auto write = [&](const void* data, size_t count, int failure) {
    if (!out.Write(data, count)) throw MakeError(failure);
  };
  auto copy = [&](uint64_t count, int read_failure) {
    while (count > 0) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(count, chunk.size()));
      if (ReadOrNextVolume(chunk.data(), n) < n) throw MakeError(read_failure);
      write(chunk.data(), n, msg::kWriteLocalHeader);
      count -= n;
    }
  };
  for (size_t copied = 0; copied < rows.size(); ++copied) {
    uint8_t local[zip::kLocalHeaderSize];
    if (ReadOrNextVolume(local, sizeof local) < sizeof local) throw MakeError(msg::kReadLocalHeader);
    if (GetU32(local) != zip::kLocalSignature) throw MakeError(msg::kLocalSignatureWrong);
    uint16_t flags = GetU16(local + 6);
    uint64_t compressed = GetU32(local + 18);
    size_t name_length = GetU16(local + 26);
    size_t extra_length = GetU16(local + 28);
    std::string name(name_length, '\0');
    if (ReadOrNextVolume(&name[0], name_length) < name_length) throw MakeError(msg::kReadLocalName);
    auto row = std::find_if(rows.begin(), rows.end(), [&](const JoinRow& r) {
      return !r.copied && SameNameIgnoringCase(r.raw_name, name);
    });
    if (row == rows.end()) throw MakeError(msg::kLocalHeaderNotFound);
    row->copied = true;
    row->new_offset = out.Position();
    write(local, sizeof local, msg::kWriteLocalHeader);
    write(name.data(), name.size(), msg::kWriteLocalHeader);
    copy(extra_length, msg::kReadLocalExtra);
    if (compressed == 0) compressed = row->compressed_size;
    copy(compressed, msg::kReadZippedData);
    if (flags & zip::kFlagDataDescriptor) copy(zip::kDataDescriptorSize, msg::kDataDescriptor);
  }

  uint64_t central_start = out.Position();
  for (JoinRow& row : rows) {
    uint8_t* header = reinterpret_cast<uint8_t*>(&row.central[0]);
    header[34] = 0;  // start volume
    header[35] = 0;
    SetU32(header + 42, static_cast<uint32_t>(row.new_offset));
    write(row.central.data(), row.central.size(), msg::kWriteCentralHeader);
  }
  uint64_t central_size = out.Position() - central_start;
  std::string end;
  PutU32(end, zip::kEndSignature);
  PutU16(end, 0);
  PutU16(end, 0);
  PutU16(end, static_cast<uint16_t>(std::min<size_t>(rows.size(), 0xFFFF)));
  PutU16(end, static_cast<uint16_t>(std::min<size_t>(rows.size(), 0xFFFF)));
  PutU32(end, static_cast<uint32_t>(central_size));
  PutU32(end, static_cast<uint32_t>(central_start));
  PutU16(end, static_cast<uint16_t>(archive_comment_.size()));
  write(end.data(), end.size(), msg::kWriteEndOfCentral);
  write(archive_comment_.data(), archive_comment_.size(), msg::kReadArchiveComment);
}

}  // namespace vellumo
