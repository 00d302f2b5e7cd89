#include "packer/extract.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/replace_file.h"
#include "common/stored_name.h"
#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_reader.h"
#include "packer/block_check.h"
#include "packer/installer_image.h"
#include "packer/path_pattern.h"

namespace fs = std::filesystem;

namespace hollin {
namespace {

struct Wanted {
  std::string name;            // stored name
  fs::path target;
  fs::path shown;              // as the user named the folder
  uint64_t position = 0;       // of the block; for a text: unused
  FileListLine line;
  const std::string* text = nullptr;  // a text of the package instead of a block
};

// The folders on the way from `root` to `target` must be real folders (or not exist yet):
// a link among them could lead the file out of the root.
bool PathStaysInside(const fs::path& root, const fs::path& target, std::string* why) {
  fs::path at = root;
  fs::path relative = target.lexically_relative(root);
  size_t parts = static_cast<size_t>(std::distance(relative.begin(), relative.end()));
  size_t k = 0;
  for (const fs::path& part : relative) {
    at /= part;
    std::error_code ec;
    fs::file_status st = fs::symlink_status(at, ec);
    if (ec || st.type() == fs::file_type::not_found) return true;
    if (st.type() == fs::file_type::symlink) {
      *why = at.string() + " is a link";
      return false;
    }
    if (++k < parts && st.type() != fs::file_type::directory) {
      *why = at.string() + " is not a folder";
      return false;
    }
  }
  return true;
}

bool WriteChecked(Stream& s, const Wanted& w, std::string* problem) {
  std::error_code ec;
  fs::create_directories(w.target.parent_path(), ec);
  fs::path temp = w.target;
  temp += ".hollin-part";
  std::FILE* out = std::fopen(temp.string().c_str(), "wb");
  if (!out) {
    *problem = "cannot create " + temp.string();
    return false;
  }
  bool ok = true;
  if (w.text) {
    ok = std::fwrite(w.text->data(), 1, w.text->size(), out) == w.text->size();
    if (!ok) *problem = "cannot write " + temp.string();
  } else {
    BlockCheck b = CheckStoredBlock(s, w.position, w.line.block_length, [&](const uint8_t* data, size_t n) {
      return std::fwrite(data, 1, n, out) == n;
    });
    if (!b.ok()) {
      *problem = "block " + b.Problem();
      ok = false;
    } else if (CrcText(b.crc) != w.line.crc_text) {
      *problem = "CRC " + CrcText(b.crc) + ", the file list says " + w.line.crc_text;
      ok = false;
    }
  }
  if (std::fclose(out) != 0 && ok) {
    *problem = "cannot write " + temp.string();
    ok = false;
  }
  if (ok && !vellumo::MoveFileOver(temp.string(), w.target.string())) {
    *problem = "cannot move " + temp.string() + " to " + w.target.string();
    ok = false;
  }
  if (!ok) fs::remove(temp, ec);
  return ok;
}

}  // namespace

bool ExtractInstaller(Stream& file, const std::string& name, const ExtractOptions& options,
                      std::FILE* log, ExtractReport* report, std::string* error) {
  *report = ExtractReport{};
  InstallerImage image;
  if (!LocateInstaller(file, name, options.package_offset, &image, error)) return false;
  PrefixStream& s = *image.package;
  StubFields stub;
  if (!ReadStubFields(s, &stub)) {
    *error = name + " is too short to be an installer";
    return false;
  }
  if (stub.uninstaller != 0) {
    *error = name + " is an uninstaller: it carries no files";
    return false;
  }
  PackageHeader h;
  if (!ReadPackageHeader(s, image.package_offset, &h)) {
    *error = name + ": the package header runs past the end of the package";
    return false;
  }
  BlockDecodeResult decode;
  std::vector<std::string> lines = ReadFileListLines(s, h.file_list_position, &decode);
  if (!decode.complete) {
    *error = name + ": the file list cannot be decoded";
    return false;
  }
  uint64_t actions = 0;
  std::vector<FileBlockLocation> blocks = LocateFileBlocks(lines, s.Position(), &actions);

  std::vector<Wanted> wanted;
  std::vector<bool> used(options.only.size(), false);
  for (size_t k = 0; k < blocks.size(); ++k) {
    if (!blocks[k].parsed) {
      *error = name + ": file list line " + std::to_string(k + 1) + " is not \"name|CRC8length\"";
      return false;
    }
    bool take = options.only.empty();
    for (size_t p = 0; p < options.only.size(); ++p) {
      if (MatchPath(options.only[p], blocks[k].line.name, true)) take = used[p] = true;
    }
    if (!take) continue;
    Wanted w;
    w.name = blocks[k].line.name;
    w.position = blocks[k].position;
    w.line = blocks[k].line;
    wanted.push_back(w);
  }
  for (size_t p = 0; p < options.only.size(); ++p) {
    if (!used[p]) {
      *error = "--only " + options.only[p] + " picks no file of " + name;
      return false;
    }
  }
  std::string register_text;
  if (options.with_texts) {
    Wanted licence;
    licence.name = kLicenceTextName;
    licence.text = &h.licence_text;
    if (h.has_licence) wanted.push_back(licence);
    ActionRecords a;
    if (actions <= s.Size() && s.Seek(actions)) ReadActionRecords(s, &a);
    if (a.register_list.present) {
      register_text = JoinLines(a.register_list.names);
      Wanted list;
      list.name = kRegisterListName;
      list.text = &register_text;
      wanted.push_back(list);
    }
  }

  // Every name goes through the installer's rule before anything is written; refused ones
  // are reported and left out.
  std::error_code ec;
  fs::path root = fs::absolute(fs::path(options.to), ec).lexically_normal();
  vellumo::StoredNameSet names;
  std::vector<Wanted> writable;
  for (Wanted& w : wanted) {
    std::string problem;
    if (!names.Add(w.name, "file list", &problem)) {
      report->problems.push_back(problem + "; not written");
      continue;
    }
    w.target = root;
    w.shown = fs::path(options.to);
    for (const std::string& part : PathParts(w.name)) {
      w.target /= part;
      w.shown /= part;
    }
    std::string why;
    if (!PathStaysInside(root, w.target, &why)) {
      report->problems.push_back("\"" + w.name + "\" not written: " + why);
      continue;
    }
    writable.push_back(w);
  }
  if (!options.force) {
    for (const Wanted& w : writable) {
      if (fs::exists(fs::symlink_status(w.target, ec))) {
        *error = w.target.string() + " exists; give --force to replace it";
        return false;
      }
    }
  }
  fs::create_directories(root, ec);
  if (!fs::is_directory(root, ec)) {
    *error = "cannot create the folder " + options.to;
    return false;
  }
  for (const Wanted& w : writable) {
    std::string problem;
    if (!WriteChecked(s, w, &problem)) {
      report->problems.push_back("\"" + w.name + "\" not written: " + problem);
      continue;
    }
    ++report->written;
    report->written_names.push_back(w.name);
    if (log) std::fprintf(log, "%s\n", w.shown.string().c_str());
  }
  return true;
}

}  // namespace hollin
