#include "installer/package/package_reader.h"

#include <algorithm>
#include <new>

#include "installer/package/file_list.h"
#include "installer/package/header_string.h"
#include "installer/package/package_format.h"

namespace hollin {
namespace {

// Reads records and notes whether every byte came from inside the file.
class RecordCursor {
 public:
  explicit RecordCursor(Stream& s) : s_(s) {}
  uint64_t Position() const { return s_.Position(); }
  bool complete() const { return complete_; }

  std::string Text() {
    uint64_t before = s_.Position();
    std::string text = ReadHeaderString(s_);
    if (s_.Position() != before + 1 + text.size()) complete_ = false;
    return text;
  }
  std::string Trimmed() { return TrimHeaderText(Text()); }
  TextRecord Record(bool trim) {
    TextRecord r;
    r.position = s_.Position();
    r.text = trim ? Trimmed() : Text();
    return r;
  }
  uint8_t Byte() {
    uint64_t before = s_.Position();
    uint8_t v = ReadFlag(s_);
    if (s_.Position() != before + 1) complete_ = false;
    return v;
  }
  bool Flag() { return FlagIsSet(Byte()); }

 private:
  Stream& s_;
  bool complete_ = true;
};

}  // namespace

bool ReadStubFields(Stream& file, StubFields* out) {
  *out = StubFields{};
  uint8_t bytes[kStubFieldsEnd - kStubFieldsOffset];
  if (!file.Seek(kStubFieldsOffset)) return false;
  size_t got = 0;
  while (got < sizeof bytes) {
    size_t n = file.Read(bytes + got, sizeof bytes - got);
    if (n == 0) break;
    got += n;
  }
  if (got != sizeof bytes) return false;
  out->total_unpacked_size = uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) |
                             (uint32_t(bytes[2]) << 16) | (uint32_t(bytes[3]) << 24);
  out->no_view = bytes[kNoViewOffset - kStubFieldsOffset];
  out->uninstaller = bytes[kUninstallerFlagOffset - kStubFieldsOffset];
  out->self_check_value.assign(
      reinterpret_cast<const char*>(bytes + (kSelfCheckValueOffset - kStubFieldsOffset)),
      kSelfCheckValueLength);
  out->ok = true;
  return true;
}

bool ReadPackageHeader(Stream& file, uint64_t package_offset, PackageHeader* out) {
  PackageHeader h;
  h.package_offset = package_offset;
  uint64_t size = file.Size();
  if (size == UINT64_MAX || package_offset > size || !file.Seek(package_offset)) {
    *out = h;
    return false;
  }
  RecordCursor c(file);
  h.title_colour = c.Record(false);
  h.gradient_r = c.Record(false);
  h.gradient_g = c.Record(false);
  h.gradient_b = c.Record(false);
  h.option_bytes_position = c.Position();
  h.option_byte_5 = c.Byte();
  h.self_check_on = c.Flag();
  h.silent_failure = c.Flag();
  h.option_byte_8 = c.Byte();
  h.reserved_flag_position = c.Position();
  h.has_reserved_string = c.Flag();
  if (h.has_reserved_string) h.reserved_string = c.Record(false);
  h.registry_import_position = c.Position();
  h.registry_import = c.Flag();
  h.uninstall_key_flag_position = c.Position();
  h.has_uninstall_key = c.Flag();
  if (h.has_uninstall_key) h.uninstall_key = c.Record(true);
  h.licence_flag_position = c.Position();
  h.has_licence = c.Flag();
  bool licence_complete = true;
  if (h.has_licence) {
    const uint64_t block_position = file.Position();
    try {
      MemoryStream plain;
      // No more than the log box shows.
      h.licence_decode = ReadLengthPrefixedBlock(file, plain, &h.licence_block, kLogTextLimit);
      h.licence_text.assign(plain.bytes().begin(), plain.bytes().end());
    } catch (const std::bad_alloc&) {
      // Start-up goes on without the licence text, past the block, as after a bad block.
      h.licence_text.clear();
      ReportDecodeFailure();
      const uint64_t size = file.Size();
      const uint64_t end = h.licence_block.has_length && size != UINT64_MAX && block_position + 4 <= size
                               ? block_position + 4 + std::min<uint64_t>(h.licence_block.declared_length, size - block_position - 4)
                               : block_position;
      file.Seek(end);
    }
    licence_complete = h.licence_block.has_length &&
                       h.licence_block.stored_length == h.licence_block.declared_length;
  }
  h.display_name = c.Record(true);
  h.maker_notice = c.Record(true);
  h.default_folder_flag_position = c.Position();
  h.has_default_folder = c.Flag();
  if (h.has_default_folder) h.default_folder = c.Record(true);
  h.header_end = c.Position();
  h.reserved_byte_position = c.Position();
  h.reserved_byte = c.Byte();
  h.file_list_position = c.Position();
  h.complete = c.complete() && licence_complete;
  *out = h;
  return h.complete;
}

RegisterListRecord ReadRegisterListRecord(Stream& s) {
  RegisterListRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    MemoryStream plain;
    r.decode = ReadLengthPrefixedBlock(s, plain, &r.block, kMaxListTextBytes);
    const auto& b = plain.bytes();
    bool cut = false;
    r.names = SplitLines(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()),
                         kMaxListLines, &cut);
    if (cut && !r.decode.failed()) ReportDecodeFailure();
  }
  return r;
}

ProgramRecord ReadProgramRecord(Stream& s) {
  ProgramRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    r.program = TrimHeaderText(ReadHeaderString(s));
    r.has_parameters = FlagIsSet(ReadFlag(s));
    if (r.has_parameters) r.parameters = TrimHeaderText(ReadHeaderString(s));
  }
  return r;
}

ExeVerbRecord ReadExeVerbRecord(Stream& s) {
  ExeVerbRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    r.verb = TrimHeaderText(ReadHeaderString(s));
    r.exe_only = FlagIsSet(ReadFlag(s));
    r.has_extra = FlagIsSet(ReadFlag(s));
    if (r.has_extra) r.extra = TrimHeaderText(ReadHeaderString(s));
    r.program = TrimHeaderText(ReadHeaderString(s));
  }
  return r;
}

VerbRecord ReadVerbRecord(Stream& s) {
  VerbRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    r.verb = TrimHeaderText(ReadHeaderString(s));
    r.has_extra = FlagIsSet(ReadFlag(s));
    if (r.has_extra) r.extra = TrimHeaderText(ReadHeaderString(s));
    r.program = TrimHeaderText(ReadHeaderString(s));
  }
  return r;
}

FileTypeRecord ReadFileTypeRecord(Stream& s) {
  FileTypeRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    r.extension = TrimHeaderText(ReadHeaderString(s));
    r.description = TrimHeaderText(ReadHeaderString(s));
    r.program = TrimHeaderText(ReadHeaderString(s));
  }
  return r;
}

RegistryRemovalRecord ReadRegistryRemovalRecord(Stream& s) {
  RegistryRemovalRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    r.root_index = ReadFlag(s);
    r.key_path_stored = ReadHeaderString(s);
    r.key_path = TrimHeaderText(r.key_path_stored);
  }
  return r;
}

ShortcutRecord ReadShortcutRecord(Stream& s) {
  ShortcutRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    r.link_name = TrimHeaderText(ReadHeaderString(s));
    r.program = TrimHeaderText(ReadHeaderString(s));
  }
  return r;
}

ProgramGroupRecord ReadProgramGroupRecord(Stream& s) {
  ProgramGroupRecord r;
  r.position = s.Position();
  r.kind = ReadFlag(s);
  if (r.present()) {
    r.group_name = TrimHeaderText(ReadHeaderString(s));
    uint8_t count = ReadFlag(s);  // at most 255 pairs: bounded whatever the file says
    r.links.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
      GroupLink link;
      link.link_name = TrimHeaderText(ReadHeaderString(s));
      link.program = TrimHeaderText(ReadHeaderString(s));
      r.links.push_back(std::move(link));
    }
  }
  return r;
}

FileRemovalRecord ReadFileRemovalRecord(Stream& s) {
  FileRemovalRecord r;
  r.position = s.Position();
  r.present = FlagIsSet(ReadFlag(s));
  if (r.present) {
    r.folder_kind = ReadFlag(s);
    r.file_name_stored = ReadHeaderString(s);
    r.file_name = TrimHeaderText(r.file_name_stored);
  }
  return r;
}

void ReadUninstallActionRecords(Stream& s, ActionRecords* out) {
  out->autorun = ReadAutorunRecord(s);
  out->exe_verb = ReadExeVerbRecord(s);
  out->any_file_verb = ReadVerbRecord(s);
  out->folder_verb = ReadVerbRecord(s);
  out->file_type = ReadFileTypeRecord(s);
  for (auto& r : out->registry_removal) r = ReadRegistryRemovalRecord(s);
  out->desktop_shortcut = ReadShortcutRecord(s);
  out->program_group = ReadProgramGroupRecord(s);
  for (auto& r : out->file_removal) r = ReadFileRemovalRecord(s);
  out->end_position = s.Position();
}

void ReadActionRecords(Stream& s, ActionRecords* out) {
  *out = ActionRecords{};
  out->register_list = ReadRegisterListRecord(s);
  out->run_after_install = ReadRunRecord(s);
  ReadUninstallActionRecords(s, out);
}

void ReadUninstallData(Stream& s, uint64_t header_end, UninstallData* out) {
  *out = UninstallData{};
  out->position = header_end;
  if (!s.Seek(header_end)) return;
  bool ok = false;
  out->declared_length = ReadU32(s, &ok);
  out->has_length = ok;
  if (ok) {
    uint64_t size = s.Size();
    uint64_t here = s.Position();
    uint64_t available = (size == UINT64_MAX || here > size) ? 0 : size - here;
    uint64_t take = std::min<uint64_t>(out->declared_length, available);
    // Only as much of the list as an installer could have written.
    uint64_t kept = std::min<uint64_t>(take, kMaxListTextBytes);
    MemoryStream text;
    if (kept > 0 && text.Reserve(static_cast<size_t>(kept))) StreamCopyFrom(text, s, here, kept);
    out->file_list_text.assign(text.bytes().begin(), text.bytes().end());
    bool cut = false;
    out->file_list = SplitLines(out->file_list_text, kMaxListLines, &cut);
    if (cut || kept < take) ReportDecodeFailure();
    s.Seek(here + take);
  }
  ReadUninstallActionRecords(s, &out->records);
}

}  // namespace hollin
