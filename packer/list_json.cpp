#include "packer/list_json.h"

#include <cinttypes>
#include <string>
#include <vector>

#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/header_string.h"
#include "installer/package/package_extent.h"
#include "installer/package/package_format.h"
#include "installer/package/package_reader.h"
#include "packer/installer_image.h"

namespace hollin {
namespace {

// Texts are bytes in the target's code page: each byte becomes the character of the same
// number (U+0000 to U+00FF), so any byte survives and a reader can turn it back.
std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}
std::string Json(uint64_t v) { return std::to_string(v); }
std::string Json(bool v) { return v ? "true" : "false"; }

// One JSON object built field by field.
class Object {
 public:
  Object& Add(const std::string& key, const std::string& raw) {
    body_ += (body_.empty() ? "" : ", ") + Json(key) + ": " + raw;
    return *this;
  }
  Object& Text(const std::string& key, const std::string& v) { return Add(key, Json(v)); }
  Object& Number(const std::string& key, uint64_t v) { return Add(key, Json(v)); }
  Object& Flag(const std::string& key, bool v) { return Add(key, Json(v)); }
  std::string str() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

std::string Array(const std::vector<std::string>& items, const char* indent) {
  if (items.empty()) return "[]";
  std::string out = "[\n";
  for (size_t i = 0; i < items.size(); ++i) out += indent + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
  return out + std::string(indent).substr(2) + "]";
}

// A record row: the same position (relative to the package offset) and length as the text form.
Object Row(const std::string& record, uint64_t from, uint64_t to, uint64_t base) {
  Object o;
  o.Text("record", record).Number("position", from - base).Number("length", to >= from ? to - from : 0);
  return o;
}

std::vector<std::string> Actions(const ActionRecords& a, bool uninstaller, uint64_t base) {
  std::vector<std::string> out;
  auto at = [&](const char* name, uint64_t position) {
    Object o;
    o.Text("record", name).Number("position", position - base);
    return o;
  };
  if (!uninstaller && a.register_list.present) {
    std::vector<std::string> names;
    for (const auto& n : a.register_list.names) names.push_back(Json(n));
    out.push_back(at("A1", a.register_list.position).Add("names", Array(names, "        ")).str());
  }
  if (!uninstaller && a.run_after_install.present) {
    Object o = at("A2", a.run_after_install.position);
    o.Text("program", a.run_after_install.program);
    if (a.run_after_install.has_parameters) o.Text("parameters", a.run_after_install.parameters);
    out.push_back(o.str());
  }
  if (a.autorun.present) {
    Object o = at("A3", a.autorun.position);
    o.Text("program", a.autorun.program);
    if (a.autorun.has_parameters) o.Text("parameters", a.autorun.parameters);
    out.push_back(o.str());
  }
  if (a.exe_verb.present) {
    Object o = at("A4", a.exe_verb.position);
    o.Text("verb", a.exe_verb.verb).Flag("exe_only", a.exe_verb.exe_only);
    if (a.exe_verb.has_extra) o.Text("extra", a.exe_verb.extra);
    out.push_back(o.Text("program", a.exe_verb.program).str());
  }
  const VerbRecord* verbs[] = {&a.any_file_verb, &a.folder_verb};
  for (int i = 0; i < 2; ++i) {
    if (!verbs[i]->present) continue;
    Object o = at(i == 0 ? "A5" : "A6", verbs[i]->position);
    o.Text("verb", verbs[i]->verb);
    if (verbs[i]->has_extra) o.Text("extra", verbs[i]->extra);
    out.push_back(o.Text("program", verbs[i]->program).str());
  }
  if (a.file_type.present)
    out.push_back(at("A7", a.file_type.position)
                      .Text("extension", a.file_type.extension)
                      .Text("description", a.file_type.description)
                      .Text("program", a.file_type.program)
                      .str());
  for (int i = 0; i < 3; ++i) {
    const auto& r = a.registry_removal[i];
    if (r.present)
      out.push_back(at(("A" + std::to_string(8 + i)).c_str(), r.position)
                        .Number("root", r.root_index)
                        .Text("key", r.key_path_stored)
                        .str());
  }
  if (a.desktop_shortcut.present)
    out.push_back(at("A11", a.desktop_shortcut.position)
                      .Text("link", a.desktop_shortcut.link_name)
                      .Text("program", a.desktop_shortcut.program)
                      .str());
  if (a.program_group.present()) {
    std::vector<std::string> links;
    for (const auto& l : a.program_group.links)
      links.push_back(Object().Text("link", l.link_name).Text("program", l.program).str());
    out.push_back(at("A12", a.program_group.position)
                      .Number("kind", a.program_group.kind)
                      .Text("name", a.program_group.group_name)
                      .Add("links", Array(links, "        "))
                      .str());
  }
  for (int i = 0; i < 3; ++i) {
    const auto& r = a.file_removal[i];
    if (r.present)
      out.push_back(at(("A" + std::to_string(13 + i)).c_str(), r.position)
                        .Number("folder", r.folder_kind)
                        .Text("name", r.file_name_stored)
                        .str());
  }
  return out;
}

}  // namespace

bool ListInstallerJson(const std::string& path, uint64_t package_offset, std::FILE* out,
                       std::string* error) {
  auto file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) {
    *error = "cannot read " + path;
    return false;
  }
  InstallerImage image;
  if (!LocateInstaller(*file, path, package_offset, &image, error)) return false;
  Stream& s = *image.package;
  const uint64_t base = image.package_offset;
  StubFields stub;
  ReadStubFields(s, &stub);
  bool uninstaller = stub.uninstaller != 0;
  Object doc;
  doc.Text("file", path).Text("kind", uninstaller ? "uninstaller" : "installer");
  doc.Number("size", image.file_size).Number("package_offset", base).Number("package_end", image.package_end);
  Object st;
  st.Number("total_unpacked_size", stub.total_unpacked_size).Number("no_view", stub.no_view);
  st.Number("uninstaller", stub.uninstaller).Text("self_check_value", stub.self_check_value);
  if (!uninstaller) {
    SelfCheckResult check = CheckSelfCheckValue(*file, base, stub.self_check_value);
    st.Text("self_check_actual", check.value()).Flag("self_check_matches", check.matches);
  }
  doc.Add("stub", st.str());
  {
    const PackageExtent& e = image.extent;
    Object sig;
    sig.Flag("present", e.has_signature).Flag("bad_security_entry", e.bad_security_entry);
    if (e.has_signature)
      sig.Number("certificate_table", e.end).Number("certificate_size", e.fields.certificate_size);
    doc.Add("signature", sig.str());
  }

  PackageHeader h;
  bool complete = ReadPackageHeader(s, base, &h);
  std::vector<std::string> header;
  auto text = [&](const char* record, const TextRecord& t, uint64_t to) {
    header.push_back(Row(record, t.position, to, base).Text("value", t.text).str());
  };
  text("1", h.title_colour, h.gradient_r.position);
  text("2", h.gradient_r, h.gradient_g.position);
  text("3", h.gradient_g, h.gradient_b.position);
  text("4", h.gradient_b, h.option_bytes_position);
  header.push_back(Row("5-8", h.option_bytes_position, h.reserved_flag_position, base)
                       .Number("option_5", h.option_byte_5).Flag("self_check_on", h.self_check_on)
                       .Flag("silent_failure", h.silent_failure).Number("option_8", h.option_byte_8).str());
  {
    Object o = Row("9", h.reserved_flag_position, h.registry_import_position, base);
    o.Flag("present", h.has_reserved_string);
    if (h.has_reserved_string) o.Text("value", h.reserved_string.text);
    header.push_back(o.str());
  }
  header.push_back(Row("10", h.registry_import_position, h.uninstall_key_flag_position, base)
                       .Flag("value", h.registry_import).str());
  {
    Object o = Row("11", h.uninstall_key_flag_position, h.licence_flag_position, base);
    o.Flag("present", h.has_uninstall_key);
    if (h.has_uninstall_key) o.Text("value", h.uninstall_key.text);
    header.push_back(o.str());
  }
  {
    Object o = Row("12", h.licence_flag_position, h.display_name.position, base);
    o.Flag("present", h.has_licence);
    if (h.has_licence)
      o.Number("declared_length", h.licence_block.declared_length).Number("unpacked", h.licence_decode.expected)
          .Flag("complete", h.licence_decode.complete).Text("value", h.licence_text);
    header.push_back(o.str());
  }
  text("13", h.display_name, h.maker_notice.position);
  text("14", h.maker_notice, h.default_folder_flag_position);
  {
    Object o = Row("15", h.default_folder_flag_position, h.header_end, base);
    o.Flag("present", h.has_default_folder);
    if (h.has_default_folder) o.Text("value", h.default_folder.text);
    header.push_back(o.str());
  }
  doc.Add("header", Array(header, "    ")).Number("header_end", h.header_end - base);
  doc.Flag("header_complete", complete || h.header_end < s.Size());
  if (!complete && h.header_end >= s.Size()) {
    std::fprintf(out, "%s\n", doc.str().c_str());
    return true;
  }

  std::vector<std::string> lines;
  ActionRecords a;
  uint64_t actions_position = 0;
  bool actions_readable = true;
  std::vector<std::string> files;
  if (uninstaller) {
    UninstallData data;
    ReadUninstallData(s, h.header_end, &data);
    doc.Add("uninstall_data", Row("uninstall data", h.header_end, h.header_end + 4 + data.file_list_text.size(), base)
                                  .Number("declared_length", data.declared_length).str());
    lines = data.file_list;
    a = data.records;
    actions_position = a.autorun.position;
    for (const auto& l : lines) {
      FileListLine parsed;
      Object o;
      o.Text("line", l);
      if (ParseFileListLine(l, &parsed))
        o.Text("name", parsed.name).Text("crc", parsed.crc_text).Number("length", parsed.block_length);
      files.push_back(o.str());
    }
  } else {
    doc.Add("record_16", Row("16", h.reserved_byte_position, h.file_list_position, base)
                             .Number("value", h.reserved_byte).str());
    BlockDecodeResult r;
    lines = ReadFileListLines(s, h.file_list_position, &r);
    uint64_t first = s.Position();
    doc.Add("file_list", Row("17", h.file_list_position, first, base)
                             .Number("unpacked", r.expected).Flag("complete", r.complete).str());
    auto blocks = LocateFileBlocks(lines, first, &actions_position);
    for (const auto& b : blocks) {
      Object o;
      if (!b.parsed) {
        files.push_back(o.Flag("malformed", true).Number("position", b.position - base).str());
        continue;
      }
      uint32_t u = 0;
      bool have_u = s.Seek(b.position) && (u = ReadU32(s, nullptr), s.Position() == b.position + 4);
      bool past_end = b.position > s.Size() || b.line.block_length > s.Size() - b.position;
      o.Text("name", b.line.name).Text("crc", b.line.crc_text);
      o.Number("position", b.position - base).Number("length", b.line.block_length);
      if (have_u) o.Number("unpacked", u);
      else o.Add("unpacked", "null");
      o.Flag("past_end", past_end);
      files.push_back(o.str());
    }
    if (actions_position > s.Size() || !s.Seek(actions_position)) actions_readable = false;
    else ReadActionRecords(s, &a);
  }
  doc.Add("files", Array(files, "    "));
  if (actions_readable) {
    Object o;
    o.Number("position", actions_position - base).Number("end", a.end_position - base);
    o.Add("records", Array(Actions(a, uninstaller, base), "      "));
    doc.Add("actions", o.str());
  } else {
    doc.Add("actions", "null");
  }
  std::fprintf(out, "%s\n", doc.str().c_str());
  return true;
}

}  // namespace hollin
