#include "installer/package/package_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/header_string.h"
#include "installer/package/package_format.h"
#include "installer/package/scramble.h"

namespace hollin {
namespace {

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutFlag(std::string& out, bool flag) { out.push_back(flag ? 1 : 0); }
void PutByte(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
void PutText(std::string& out, const std::string& text) {
  // Lengths are checked by ValidatePackagePlan before anything is written.
  out.push_back(static_cast<char>(static_cast<uint8_t>(text.size())));
  out += ScrambleHeaderString(text);
}
bool PutLengthPrefixedBlock(std::string& out, const std::string& text) {
  std::vector<uint8_t> block = MakeStoredBlock(text.data(), text.size(), kPackCompressionLevel);
  if (block.empty()) return false;
  PutU32(out, static_cast<uint32_t>(block.size()));
  out.append(reinterpret_cast<const char*>(block.data()), block.size());
  return true;
}

struct TextCheck {
  const char* field;
  const std::string* text;
};

bool WriteAll(Stream& out, const void* data, size_t size) {
  return out.Write(data, size) == size;
}

// Installer writes go through this, so the self-check CRC is computed on the way out
// instead of reading the file back.
class CrcTrackingStream : public Stream {
 public:
  explicit CrcTrackingStream(Stream& inner) : inner_(inner) {}
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void* buffer, size_t n) override {
    uint64_t at = inner_.Position();
    size_t written = inner_.Write(buffer, n);
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    if (at + written > kSelfCheckStartOffset) {
      size_t skip = at >= kSelfCheckStartOffset ? 0 : static_cast<size_t>(kSelfCheckStartOffset - at);
      crc_ = Crc32Update(crc_, p + skip, written - skip);
    }
    return written;
  }
  bool Seek(uint64_t position) override { return inner_.Seek(position); }
  uint64_t Position() const override { return inner_.Position(); }
  uint64_t Size() const override { return inner_.Size(); }
  uint32_t crc() const { return crc_; }

 private:
  Stream& inner_;
  uint32_t crc_ = 0;
};

}  // namespace

bool IsRelativeInstallName(const std::string& name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos)
    return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

std::vector<uint8_t> MakeStoredBlock(const void* data, size_t size, int level) {
  std::vector<uint8_t> block;
  if (size > UINT32_MAX) return block;
  uLong bound = compressBound(static_cast<uLong>(size));
  try {
    block.resize(4 + bound);
  } catch (...) {
    return {};
  }
  uLongf packed = bound;
  if (compress2(block.data() + 4, &packed, static_cast<const Bytef*>(data),
                static_cast<uLong>(size), level) != Z_OK) {
    return {};
  }
  block.resize(4 + packed);
  for (int i = 0; i < 4; ++i) block[i] = static_cast<uint8_t>((uint64_t(size) >> (8 * i)) & 0xFF);
  return block;
}

bool PackFile(const std::string& name, const void* data, size_t size, int level,
              PackedFile* out) {
  if (size > UINT32_MAX) return false;
  out->name = name;
  out->crc = Crc32Update(0, data, size);
  out->unpacked_size = static_cast<uint32_t>(size);
  out->block = MakeStoredBlock(data, size, level);
  return !out->block.empty();
}

bool ValidatePackagePlan(const PackagePlan& plan, const std::vector<PackedFile>& files,
                         std::string* error) {
  const ActionRecords& a = plan.actions;
  std::vector<TextCheck> checks = {
      {"title colour", &plan.title_colour},
      {"gradient red", &plan.gradient_r},
      {"gradient green", &plan.gradient_g},
      {"gradient blue", &plan.gradient_b},
      {"reserved string", &plan.reserved_string},
      {"uninstall key", &plan.uninstall_key},
      {"display name", &plan.display_name},
      {"maker notice", &plan.maker_notice},
      {"default folder", &plan.default_folder},
      {"run program", &a.run_after_install.program},
      {"run parameters", &a.run_after_install.parameters},
      {"autorun program", &a.autorun.program},
      {"autorun parameters", &a.autorun.parameters},
      {"exe verb", &a.exe_verb.verb},
      {"exe verb extra text", &a.exe_verb.extra},
      {"exe verb program", &a.exe_verb.program},
      {"any-file verb", &a.any_file_verb.verb},
      {"any-file verb extra text", &a.any_file_verb.extra},
      {"any-file verb program", &a.any_file_verb.program},
      {"folder verb", &a.folder_verb.verb},
      {"folder verb extra text", &a.folder_verb.extra},
      {"folder verb program", &a.folder_verb.program},
      {"file type extension", &a.file_type.extension},
      {"file type description", &a.file_type.description},
      {"file type program", &a.file_type.program},
      {"desktop shortcut link name", &a.desktop_shortcut.link_name},
      {"desktop shortcut program", &a.desktop_shortcut.program},
      {"program group name", &a.program_group.group_name},
  };
  for (const auto& r : a.registry_removal) checks.push_back({"registry removal key", &r.key_path});
  for (const auto& r : a.file_removal) checks.push_back({"file removal name", &r.file_name});
  for (const auto& l : a.program_group.links) {
    checks.push_back({"program group link name", &l.link_name});
    checks.push_back({"program group program", &l.program});
  }
  for (const auto& c : checks) {
    if (c.text->size() > kMaxHeaderString) {
      *error = std::string(c.field) + " is " + std::to_string(c.text->size()) +
               " bytes long; at most 255 fit in a header string";
      return false;
    }
  }
  if (a.program_group.present() && a.program_group.links.size() > 255) {
    *error = "a program group holds at most 255 shortcuts";
    return false;
  }
  for (const auto& f : files) {
    if (f.name.empty() || f.name.find_first_of("|\r\n") != std::string::npos) {
      *error = "file name \"" + f.name + "\" is empty or holds \"|\" or a line end";
      return false;
    }
    if (!IsRelativeInstallName(f.name)) {
      *error = "file name \"" + f.name + "\" would be written outside the install folder";
      return false;
    }
  }
  for (const auto& n : a.register_list.names) {
    if (n.find_first_of("\r\n") != std::string::npos) {
      *error = "register list name holds a line end";
      return false;
    }
  }
  return true;
}

std::string BuildFileListText(const std::vector<PackedFile>& files) {
  std::string text;
  for (const auto& f : files) {
    FileListLine line{f.name, CrcText(f.crc), f.block.size()};
    text += FormatFileListLine(line);
    text += "\r\n";
  }
  return text;
}

bool WritePackage(Stream& out, const PackagePlan& plan, const std::vector<PackedFile>& files,
                  std::string* error) {
  if (!ValidatePackagePlan(plan, files, error)) return false;
  std::string head;
  PutText(head, plan.title_colour);
  PutText(head, plan.gradient_r);
  PutText(head, plan.gradient_g);
  PutText(head, plan.gradient_b);
  PutByte(head, plan.option_byte_5);
  PutFlag(head, plan.self_check_on);
  PutFlag(head, plan.silent_failure);
  PutByte(head, plan.option_byte_8);
  PutFlag(head, plan.has_reserved_string);
  if (plan.has_reserved_string) PutText(head, plan.reserved_string);
  PutFlag(head, plan.registry_import);
  PutFlag(head, plan.has_uninstall_key);
  if (plan.has_uninstall_key) PutText(head, plan.uninstall_key);
  PutFlag(head, plan.has_licence);
  if (plan.has_licence && !PutLengthPrefixedBlock(head, plan.licence_text)) {
    *error = "cannot compress the licence text";
    return false;
  }
  PutText(head, plan.display_name);
  PutText(head, plan.maker_notice);
  PutFlag(head, plan.has_default_folder);
  if (plan.has_default_folder) PutText(head, plan.default_folder);
  PutByte(head, plan.reserved_byte);
  if (!PutLengthPrefixedBlock(head, BuildFileListText(files))) {
    *error = "cannot compress the file list";
    return false;
  }
  if (!WriteAll(out, head.data(), head.size())) {
    *error = "write failed";
    return false;
  }
  for (const auto& f : files) {
    if (!WriteAll(out, f.block.data(), f.block.size())) {
      *error = "write failed";
      return false;
    }
  }

  const ActionRecords& a = plan.actions;
  std::string tail;
  PutFlag(tail, a.register_list.present);
  if (a.register_list.present && !PutLengthPrefixedBlock(tail, JoinLines(a.register_list.names))) {
    *error = "cannot compress the register list";
    return false;
  }
  for (const ProgramRecord* r : {&a.run_after_install, &a.autorun}) {
    PutFlag(tail, r->present);
    if (!r->present) continue;
    PutText(tail, r->program);
    PutFlag(tail, r->has_parameters);
    if (r->has_parameters) PutText(tail, r->parameters);
  }
  PutFlag(tail, a.exe_verb.present);
  if (a.exe_verb.present) {
    PutText(tail, a.exe_verb.verb);
    PutFlag(tail, a.exe_verb.exe_only);
    PutFlag(tail, a.exe_verb.has_extra);
    if (a.exe_verb.has_extra) PutText(tail, a.exe_verb.extra);
    PutText(tail, a.exe_verb.program);
  }
  for (const VerbRecord* r : {&a.any_file_verb, &a.folder_verb}) {
    PutFlag(tail, r->present);
    if (!r->present) continue;
    PutText(tail, r->verb);
    PutFlag(tail, r->has_extra);
    if (r->has_extra) PutText(tail, r->extra);
    PutText(tail, r->program);
  }
  PutFlag(tail, a.file_type.present);
  if (a.file_type.present) {
    PutText(tail, a.file_type.extension);
    PutText(tail, a.file_type.description);
    PutText(tail, a.file_type.program);
  }
  for (const auto& r : a.registry_removal) {
    PutFlag(tail, r.present);
    if (!r.present) continue;
    PutByte(tail, r.root_index);
    PutText(tail, r.key_path);
  }
  PutFlag(tail, a.desktop_shortcut.present);
  if (a.desktop_shortcut.present) {
    PutText(tail, a.desktop_shortcut.link_name);
    PutText(tail, a.desktop_shortcut.program);
  }
  PutByte(tail, a.program_group.kind);
  if (a.program_group.present()) {
    PutText(tail, a.program_group.group_name);
    PutByte(tail, static_cast<uint8_t>(a.program_group.links.size()));
    for (const auto& l : a.program_group.links) {
      PutText(tail, l.link_name);
      PutText(tail, l.program);
    }
  }
  for (const auto& r : a.file_removal) {
    PutFlag(tail, r.present);
    if (!r.present) continue;
    PutByte(tail, r.folder_kind);
    PutText(tail, r.file_name);
  }
  if (!WriteAll(out, tail.data(), tail.size())) {
    *error = "write failed";
    return false;
  }
  return true;
}

bool WriteInstaller(Stream& out, const std::vector<uint8_t>& stub, const PackagePlan& plan,
                    const std::vector<PackedFile>& files, InstallerSummary* summary,
                    std::string* error) {
  if (stub.size() < kStubFieldsEnd) {
    *error = "the stub is too short to hold the stub fields";
    return false;
  }
  uint64_t total = 0;
  for (const auto& f : files) total += f.unpacked_size;
  if (total > UINT32_MAX) {
    *error = "the files hold more than 4 GiB, more than the total size field can say";
    return false;
  }
  if (!ValidatePackagePlan(plan, files, error)) return false;
  std::vector<uint8_t> patched(stub);
  for (int i = 0; i < 4; ++i)
    patched[kTotalUnpackedSizeOffset + i] = static_cast<uint8_t>((total >> (8 * i)) & 0xFF);
  patched[kNoViewOffset] = plan.no_view ? 1 : 0;
  patched[kUninstallerFlagOffset] = 0;
  std::memset(patched.data() + kSelfCheckValueOffset, '0', kSelfCheckValueLength);

  CrcTrackingStream tracked(out);
  if (!WriteAll(tracked, patched.data(), patched.size())) {
    *error = "write failed";
    return false;
  }
  if (!WritePackage(tracked, plan, files, error)) return false;
  uint64_t end = out.Position();
  std::string value = CrcText(tracked.crc());
  if (!out.Seek(kSelfCheckValueOffset) || !WriteAll(out, value.data(), value.size()) ||
      !out.Seek(end)) {
    *error = "write failed";
    return false;
  }
  if (summary) {
    summary->package_offset = stub.size();
    summary->package_length = end - stub.size();
    summary->total_unpacked_size = static_cast<uint32_t>(total);
    summary->self_check_value = value;
  }
  return true;
}

}  // namespace hollin
