#include "packer/list.h"

#include <cinttypes>
#include <vector>

#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/header_string.h"
#include "installer/package/package_extent.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"
#include "packer/installer_image.h"
#include "packer/pack.h"

namespace hollin {
namespace {

// Shows header texts with their bytes: control bytes escaped, so a damaged package cannot
// garble the terminal.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c < 32 || c == 127 || c == '"') {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

class Printer {
 public:
  Printer(std::FILE* out, uint64_t base) : out_(out), base_(base) {}
  void Row(uint64_t from, uint64_t to, const std::string& content) {
    uint64_t length = to >= from ? to - from : 0;
    std::fprintf(out_, "%10" PRIu64 "  %9" PRIu64 "  %s\n", from - base_, length,
                 content.c_str());
  }
  void Line(const std::string& text) { std::fprintf(out_, "%s\n", text.c_str()); }

 private:
  std::FILE* out_;
  uint64_t base_;
};

std::string Flag(bool on) { return on ? "1" : "0"; }

}  // namespace

bool ListInstaller(const std::string& path, uint64_t package_offset, std::FILE* out,
                   std::string* error) {
  auto file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) {
    *error = "cannot read " + path;
    return false;
  }
  InstallerImage image;
  if (!LocateInstaller(*file, path, package_offset, &image, error)) return false;
  package_offset = image.package_offset;
  const uint64_t file_size = image.file_size;
  StubFields stub;
  ReadStubFields(*image.package, &stub);
  bool uninstaller = stub.uninstaller != 0;
  std::fprintf(out, "%s: %s, %" PRIu64 " bytes, package offset %" PRIu64 "\n", path.c_str(),
               uninstaller ? "uninstaller" : "installer", file_size, package_offset);
  std::fprintf(out, "stub fields: total unpacked size %u, no-view %u, uninstaller %u, "
               "self-check value %s",
               stub.total_unpacked_size, stub.no_view, stub.uninstaller,
               Quoted(stub.self_check_value).c_str());
  SelfCheckResult check = CheckSelfCheckValue(*file, package_offset, stub.self_check_value);
  if (!uninstaller) {
    std::fprintf(out, " (%s: %s)", check.matches ? "matches" : "DOES NOT MATCH",
                 check.value().c_str());
  }
  const PackageExtent& extent = check.extent;
  if (extent.has_signature) {
    std::fprintf(out, "\nsignature: certificate table at %" PRIu64 ", %u bytes; the package ends "
                 "there", extent.end, extent.fields.certificate_size);
  } else if (extent.bad_security_entry) {
    std::fprintf(out, "\nsignature: none; the security entry (offset %u, size %u) names no "
                 "certificate table after the package", extent.fields.certificate_offset,
                 extent.fields.certificate_size);
  }
  // Everything below reads the package only, as Hollin does.
  Stream& s = *image.package;
  std::fprintf(out, "\n\n%10s  %9s  %s\n", "Position", "Length", "Content");

  Printer p(out, package_offset);
  PackageHeader h;
  bool complete = ReadPackageHeader(s, package_offset, &h);
  p.Row(h.title_colour.position, h.gradient_r.position, "record 1 title colour " + Quoted(h.title_colour.text));
  p.Row(h.gradient_r.position, h.gradient_g.position, "record 2 gradient R " + Quoted(h.gradient_r.text));
  p.Row(h.gradient_g.position, h.gradient_b.position, "record 3 gradient G " + Quoted(h.gradient_g.text));
  p.Row(h.gradient_b.position, h.option_bytes_position, "record 4 gradient B " + Quoted(h.gradient_b.text));
  p.Row(h.option_bytes_position, h.reserved_flag_position,
        "records 5 to 8: option " + std::to_string(h.option_byte_5) + ", self check on " +
            Flag(h.self_check_on) + ", silent failure " + Flag(h.silent_failure) + ", option " +
            std::to_string(h.option_byte_8));
  p.Row(h.reserved_flag_position, h.registry_import_position,
        "record 9 = " + Flag(h.has_reserved_string) +
            (h.has_reserved_string ? ", reserved string " + Quoted(h.reserved_string.text) : ""));
  p.Row(h.registry_import_position, h.uninstall_key_flag_position,
        "record 10 registry import = " + Flag(h.registry_import));
  p.Row(h.uninstall_key_flag_position, h.licence_flag_position,
        "record 11 = " + Flag(h.has_uninstall_key) +
            (h.has_uninstall_key ? ", record 11a uninstall key " + Quoted(h.uninstall_key.text) : ""));
  std::string licence = "record 12 = " + Flag(h.has_licence);
  if (h.has_licence) {
    licence += "; record 12a: N = " + std::to_string(h.licence_block.declared_length) +
               ", U = " + std::to_string(h.licence_decode.expected) + ", " +
               std::to_string(h.licence_decode.produced) + " bytes decoded" +
               (h.licence_decode.complete ? "" : " (" + std::string(kDecodeErrorCaption) + ")");
  }
  p.Row(h.licence_flag_position, h.display_name.position, licence);
  p.Row(h.display_name.position, h.maker_notice.position, "record 13 display name " + Quoted(h.display_name.text));
  p.Row(h.maker_notice.position, h.default_folder_flag_position,
        "record 14 maker notice " + Quoted(h.maker_notice.text));
  p.Row(h.default_folder_flag_position, h.header_end,
        "record 15 = " + Flag(h.has_default_folder) +
            (h.has_default_folder ? ", record 15a default folder " + Quoted(h.default_folder.text) : "") +
            " (header end = " + std::to_string(h.header_end - package_offset) + ")");
  if (!complete && h.header_end >= s.Size()) {
    p.Line("package header runs past the end of the file");
    return true;
  }

  std::vector<std::string> lines;
  uint64_t actions_position = 0;
  ActionRecords a;
  if (uninstaller) {
    UninstallData data;
    ReadUninstallData(s, h.header_end, &data);
    p.Row(h.header_end, h.header_end + 4 + data.file_list_text.size(),
          "uninstall data: L = " + std::to_string(data.declared_length) + ", plain file list of " +
              std::to_string(data.file_list.size()) + " lines");
    lines = data.file_list;
    a = data.records;
    actions_position = a.autorun.position;
  } else {
    p.Row(h.reserved_byte_position, h.file_list_position,
          "record 16 = " + std::to_string(h.reserved_byte));
    BlockDecodeResult r;
    lines = ReadFileListLines(s, h.file_list_position, &r);
    uint64_t first = s.Position();
    p.Row(h.file_list_position, first,
          "record 17: N = " + std::to_string(first - h.file_list_position - 4) + ", U = " +
              std::to_string(r.expected) + (r.complete ? "" : " (" + std::string(kDecodeErrorCaption) + ")"));
    auto blocks = LocateFileBlocks(lines, first, &actions_position);
    for (const auto& b : blocks) {
      if (!b.parsed) {
        p.Row(b.position, b.position, "malformed file list line");
        continue;
      }
      uint32_t u = 0;
      bool have_u = s.Seek(b.position) && (u = ReadU32(s, nullptr), s.Position() == b.position + 4);
      // A hostile length must not wrap the end around to a position inside the file.
      bool past_end = b.position > s.Size() || b.line.block_length > s.Size() - b.position;
      uint64_t block_end = b.line.block_length > UINT64_MAX - b.position ? UINT64_MAX
                                                                         : b.position + b.line.block_length;
      p.Row(b.position, block_end,
            "file block " + Quoted(b.line.name) + ": U = " + (have_u ? std::to_string(u) : "?") +
                (past_end ? " (past the end of the file)" : ""));
    }
    if (actions_position > s.Size() || !s.Seek(actions_position)) {
      p.Line("action records: would start past the end of the file (truncated package or a "
             "wrong block length)");
      actions_position = UINT64_MAX;
    } else {
      ReadActionRecords(s, &a);
    }
  }
  std::string present;
  auto mark = [&](const char* name, bool on) {
    if (on) present += std::string(present.empty() ? "" : ", ") + name;
  };
  mark("A1", a.register_list.present);
  mark("A2", a.run_after_install.present);
  mark("A3", a.autorun.present);
  mark("A4", a.exe_verb.present);
  mark("A5", a.any_file_verb.present);
  mark("A6", a.folder_verb.present);
  mark("A7", a.file_type.present);
  mark("A8", a.registry_removal[0].present);
  mark("A9", a.registry_removal[1].present);
  mark("A10", a.registry_removal[2].present);
  mark("A11", a.desktop_shortcut.present);
  mark("A12", a.program_group.present());
  mark("A13", a.file_removal[0].present);
  mark("A14", a.file_removal[1].present);
  mark("A15", a.file_removal[2].present);
  if (actions_position != UINT64_MAX) p.Row(actions_position, a.end_position,
        std::string(uninstaller ? "action records A3 to A15" : "action records") +
            ": present " + (present.empty() ? "none" : present));
  if (actions_position != UINT64_MAX && a.end_position != s.Size()) {
    p.Line("note: the records end at " + std::to_string(a.end_position - package_offset) +
           (extent.has_signature ? ", the package (before the certificate table) at "
                                 : ", the file at ") +
           std::to_string(s.Size() - package_offset));
  }

  p.Line("");
  p.Line("file list (" + std::to_string(lines.size()) + " lines):");
  for (const auto& l : lines) p.Line("  " + Quoted(l));

  p.Line("");
  p.Line("action records:");
  if (!uninstaller) {
    if (a.register_list.present) {
      p.Line("  A1 register list: " + std::to_string(a.register_list.names.size()) + " names");
      for (const auto& n : a.register_list.names) p.Line("     " + Quoted(n));
    }
    if (a.run_after_install.present)
      p.Line("  A2 run after install: program " + Quoted(a.run_after_install.program) +
             (a.run_after_install.has_parameters ? ", parameters " + Quoted(a.run_after_install.parameters) : ""));
  }
  if (a.autorun.present)
    p.Line("  A3 autorun: program " + Quoted(a.autorun.program) +
           (a.autorun.has_parameters ? ", parameters " + Quoted(a.autorun.parameters) : ""));
  if (a.exe_verb.present)
    p.Line("  A4 exe shell verb " + Quoted(a.exe_verb.verb) + ", exe only " + Flag(a.exe_verb.exe_only) +
           (a.exe_verb.has_extra ? ", extra " + Quoted(a.exe_verb.extra) : "") + ", program " +
           Quoted(a.exe_verb.program));
  const VerbRecord* verbs[] = {&a.any_file_verb, &a.folder_verb};
  for (int i = 0; i < 2; ++i) {
    const VerbRecord& v = *verbs[i];
    if (!v.present) continue;
    p.Line(std::string(i == 0 ? "  A5 any-file shell verb " : "  A6 folder shell verb ") +
           Quoted(v.verb) + (v.has_extra ? ", extra " + Quoted(v.extra) : "") + ", program " +
           Quoted(v.program));
  }
  if (a.file_type.present)
    p.Line("  A7 file type " + Quoted(a.file_type.extension) + ", description " +
           Quoted(a.file_type.description) + ", program " + Quoted(a.file_type.program));
  for (int i = 0; i < 3; ++i) {
    const auto& r = a.registry_removal[i];
    if (r.present)
      p.Line("  A" + std::to_string(8 + i) + " registry removal: root " + std::to_string(r.root_index) +
             ", key " + Quoted(r.key_path_stored));
  }
  if (a.desktop_shortcut.present)
    p.Line("  A11 desktop shortcut " + Quoted(a.desktop_shortcut.link_name) + ", program " +
           Quoted(a.desktop_shortcut.program));
  if (a.program_group.present()) {
    p.Line("  A12 program group kind " + std::to_string(a.program_group.kind) + " " +
           Quoted(a.program_group.group_name) + ", " + std::to_string(a.program_group.links.size()) +
           " links");
    for (const auto& l : a.program_group.links)
      p.Line("     " + Quoted(l.link_name) + " -> " + Quoted(l.program));
  } else {
    p.Line("  A12 program group: none (kind " + std::to_string(a.program_group.kind) + ")");
  }
  for (int i = 0; i < 3; ++i) {
    const auto& r = a.file_removal[i];
    if (r.present)
      p.Line("  A" + std::to_string(13 + i) + " file removal: folder kind " +
             std::to_string(r.folder_kind) + ", name " + Quoted(r.file_name_stored));
  }
  return true;
}

}  // namespace hollin
