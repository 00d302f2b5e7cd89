#include "packer/manifest.h"

#include <cstdlib>
#include <map>

#include "common/stored_name.h"
#include "installer/package/file_list.h"
#include "installer/package/package_format.h"
#include "packer/path_pattern.h"

namespace hollin {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// A value in double quotes is taken as is (keeps leading and trailing blanks).
std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  return v;
}

class Parser {
 public:
  Parser(Manifest* m, std::string* error) : m_(m), error_(error) {}

  bool Run(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
      line_ = static_cast<int>(i + 1);
      std::string l = Trim(lines[i]);
      if (l.empty() || l[0] == '#' || l[0] == ';') continue;
      if (l.front() == '[') {
        if (l.back() != ']') return Fail("a section header must end with \"]\"");
        if (!StartSection(Trim(l.substr(1, l.size() - 2)))) return false;
        continue;
      }
      size_t eq = l.find('=');
      if (section_ == "files" && eq == std::string::npos) {
        if (!AddFile(l, l, false)) return false;
        continue;
      }
      if (eq == std::string::npos) return Fail("expected \"key = value\"");
      std::string key = Trim(l.substr(0, eq));
      std::string value = Unquote(Trim(l.substr(eq + 1)));
      if (section_.empty()) return Fail("\"" + key + "\" stands before any section");
      if (!Assign(key, value)) return false;
    }
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    *error_ = std::to_string(line_) + ": " + what;
    return false;
  }

  bool Text(const std::string& key, const std::string& value, std::string* out) {
    if (value.size() > kMaxHeaderString) {
      return Fail("\"" + key + "\" is " + std::to_string(value.size()) +
                  " bytes long; at most 255 fit");
    }
    *out = value;
    return true;
  }

  bool Bool(const std::string& key, const std::string& value, bool* out) {
    if (value == "yes" || value == "true" || value == "1") *out = true;
    else if (value == "no" || value == "false" || value == "0") *out = false;
    else return Fail("\"" + key + "\" must be yes or no, not \"" + value + "\"");
    return true;
  }

  bool Byte(const std::string& key, const std::string& value, uint8_t* out) {
    char* end = nullptr;
    long v = value.empty() ? -1 : std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || v < 0 || v > 255)
      return Fail("\"" + key + "\" must be a number from 0 to 255, not \"" + value + "\"");
    *out = static_cast<uint8_t>(v);
    return true;
  }

  bool Unknown(const std::string& key) {
    return Fail("unknown key \"" + key + "\" in [" + section_ + "]");
  }

  bool StartSection(const std::string& name) {
    ActionRecords& a = m_->plan.actions;
    static const char* const kOnce[] = {"package", "files", "register", "run", "autorun",
                                        "exe_verb", "anyfile_verb", "folder_verb", "file_type",
                                        "desktop_shortcut", "program_group"};
    bool known = name == "registry_removal" || name == "file_removal";
    for (const char* once : kOnce) {
      if (name == once) {
        if (seen_[name]++) return Fail("section [" + name + "] appears twice");
        known = true;
      }
    }
    if (!known) return Fail("unknown section [" + name + "]");
    section_ = name;
    if (name == "register") a.register_list.present = true;
    else if (name == "run") a.run_after_install.present = true;
    else if (name == "autorun") a.autorun.present = true;
    else if (name == "exe_verb") a.exe_verb.present = true;
    else if (name == "anyfile_verb") a.any_file_verb.present = true;
    else if (name == "folder_verb") a.folder_verb.present = true;
    else if (name == "file_type") a.file_type.present = true;
    else if (name == "desktop_shortcut") a.desktop_shortcut.present = true;
    else if (name == "program_group") a.program_group.kind = kGroupUnderPrograms;
    else if (name == "registry_removal") {
      if (removals_ == 3) return Fail("at most three [registry_removal] sections");
      a.registry_removal[removals_++].present = true;
    } else if (name == "file_removal") {
      if (file_removals_ == 3) return Fail("at most three [file_removal] sections");
      a.file_removal[file_removals_++].present = true;
    }
    return true;
  }

  // One [files] line: a file, a folder ("docs/") or a pattern ("docs/*.html",
  // "assets/**/*.png"), stored under its own name or, with "stored = source", under
  // another name (a file) or folder (a folder or pattern: "help\\ = docs/").
  bool AddFile(const std::string& stored, const std::string& source, bool named) {
    ManifestFile f;
    f.stored_name = stored;
    for (auto& c : f.stored_name)
      if (c == '/') c = '\\';
    f.source = source;
    for (auto& c : f.source)
      if (c == '\\') c = '/';
    f.line = line_;
    if (f.stored_name.empty() || f.source.empty()) return Fail("empty file name");
    bool folder = f.source.back() == '/';
    if (folder || IsPattern(f.source)) {
      f.kind = folder ? ManifestFile::Kind::kFolder : ManifestFile::Kind::kPattern;
      if (folder) f.source.pop_back();
      for (const std::string& part : PathParts(f.source)) {
        if (part == "..") return Fail("\"" + source + "\" reaches out of the root folder");
      }
      if (!named) {
        // Stored under the folder the pattern starts in.
        f.stored_name.clear();
        for (const std::string& part : PathParts(f.source)) {
          if (IsPattern(part)) break;
          f.stored_name += part + "\\";
        }
      } else if (f.stored_name.back() != '\\') {
        return Fail("a folder or pattern is stored under a folder: write \"" + f.stored_name +
                    "\\ = " + source + "\"");
      } else if (f.stored_name != "\\") {
        std::string prefix = f.stored_name.substr(0, f.stored_name.size() - 1);
        if (const char* why = vellumo::ContainedNameProblem(prefix))
          return Fail("stored folder \"" + prefix + "\" " + why);
      } else {
        f.stored_name.clear();  // "\\ = docs/": at the top of the install folder
      }
      m_->files.push_back(f);
      return true;
    }
    // Every name the installer could not write as a file of its own inside the install
    // folder is refused here, with its line, before anything is read.
    std::string problem;
    if (!names_.Add(f.stored_name, "line " + std::to_string(line_), &problem)) return Fail(problem);
    m_->files.push_back(f);
    return true;
  }

  bool Assign(const std::string& key, const std::string& value) {
    PackagePlan& s = m_->plan;
    ActionRecords& a = s.actions;
    if (section_ == "package") {
      if (key == "title_colour") return Text(key, value, &s.title_colour);
      if (key == "gradient_red") return Text(key, value, &s.gradient_r);
      if (key == "gradient_green") return Text(key, value, &s.gradient_g);
      if (key == "gradient_blue") return Text(key, value, &s.gradient_b);
      if (key == "option_byte_5") return Byte(key, value, &s.option_byte_5);
      if (key == "self_check") return Bool(key, value, &s.self_check_on);
      if (key == "silent_failure") return Bool(key, value, &s.silent_failure);
      if (key == "option_byte_8") return Byte(key, value, &s.option_byte_8);
      if (key == "reserved_string") {
        s.has_reserved_string = true;
        return Text(key, value, &s.reserved_string);
      }
      if (key == "registry_import") return Bool(key, value, &s.registry_import);
      if (key == "uninstall_key") {
        s.has_uninstall_key = true;
        return Text(key, value, &s.uninstall_key);
      }
      if (key == "licence_file") {
        m_->licence_file = value;
        m_->licence_line = line_;
        s.has_licence = !value.empty();
        return true;
      }
      if (key == "display_name") return Text(key, value, &s.display_name);
      if (key == "maker_notice") return Text(key, value, &s.maker_notice);
      if (key == "default_folder") {
        s.has_default_folder = true;
        return Text(key, value, &s.default_folder);
      }
      if (key == "no_view") return Bool(key, value, &s.no_view);
      return Unknown(key);
    }
    if (section_ == "files") {
      if (key == "exclude") {
        if (value.empty()) return Fail("empty exclude pattern");
        m_->excludes.push_back(ManifestExclude{value, line_});
        return true;
      }
      // "stored\name = source/path"
      return AddFile(key, value, true);
    }
    if (section_ == "register") {
      if (key != "file") return Unknown(key);
      if (value.empty()) return Fail("empty register file name");
      a.register_list.names.push_back(value);
      return true;
    }
    if (section_ == "run" || section_ == "autorun") {
      ProgramRecord& r = section_ == "run" ? a.run_after_install : a.autorun;
      if (key == "program") return Text(key, value, &r.program);
      if (key == "parameters") {
        r.has_parameters = true;
        return Text(key, value, &r.parameters);
      }
      return Unknown(key);
    }
    if (section_ == "exe_verb") {
      if (key == "verb") return Text(key, value, &a.exe_verb.verb);
      if (key == "exe_only") return Bool(key, value, &a.exe_verb.exe_only);
      if (key == "extra") {
        a.exe_verb.has_extra = true;
        return Text(key, value, &a.exe_verb.extra);
      }
      if (key == "program") return Text(key, value, &a.exe_verb.program);
      return Unknown(key);
    }
    if (section_ == "anyfile_verb" || section_ == "folder_verb") {
      VerbRecord& r = section_ == "anyfile_verb" ? a.any_file_verb : a.folder_verb;
      if (key == "verb") return Text(key, value, &r.verb);
      if (key == "extra") {
        r.has_extra = true;
        return Text(key, value, &r.extra);
      }
      if (key == "program") return Text(key, value, &r.program);
      return Unknown(key);
    }
    if (section_ == "file_type") {
      if (key == "extension") return Text(key, value, &a.file_type.extension);
      if (key == "description") return Text(key, value, &a.file_type.description);
      if (key == "program") return Text(key, value, &a.file_type.program);
      return Unknown(key);
    }
    if (section_ == "registry_removal") {
      RegistryRemovalRecord& r = a.registry_removal[removals_ - 1];
      if (key == "root") return Byte(key, value, &r.root_index);
      if (key == "key") {
        r.key_path_stored = value;
        return Text(key, value, &r.key_path);
      }
      return Unknown(key);
    }
    if (section_ == "desktop_shortcut") {
      if (key == "link") return Text(key, value, &a.desktop_shortcut.link_name);
      if (key == "program") return Text(key, value, &a.desktop_shortcut.program);
      return Unknown(key);
    }
    if (section_ == "program_group") {
      ProgramGroupRecord& g = a.program_group;
      if (key == "kind") {
        if (value == "programs") g.kind = kGroupUnderPrograms;
        else if (value == "start_menu") g.kind = kGroupUnderStartMenu;
        else if (value == "none") g.kind = 0;
        else return Fail("\"kind\" must be programs, start_menu or none, not \"" + value + "\"");
        return true;
      }
      if (key == "name") return Text(key, value, &g.group_name);
      if (key == "link") {
        // "link = Link name | program"
        size_t bar = value.find('|');
        if (bar == std::string::npos) return Fail("\"link\" must be \"link name | program\"");
        GroupLink link;
        if (!Text(key, Trim(value.substr(0, bar)), &link.link_name) ||
            !Text(key, Trim(value.substr(bar + 1)), &link.program))
          return false;
        if (g.links.size() == 255) return Fail("a program group holds at most 255 links");
        g.links.push_back(link);
        return true;
      }
      return Unknown(key);
    }
    if (section_ == "file_removal") {
      FileRemovalRecord& r = a.file_removal[file_removals_ - 1];
      if (key == "folder") {
        if (value == "install") r.folder_kind = 0;
        else if (value == "windows") r.folder_kind = 2;
        else if (value == "system") r.folder_kind = 3;
        else return Byte(key, value, &r.folder_kind);
        return true;
      }
      if (key == "name") {
        r.file_name_stored = value;
        return Text(key, value, &r.file_name);
      }
      return Unknown(key);
    }
    return Unknown(key);
  }

  Manifest* m_;
  std::string* error_;
  std::string section_;
  std::map<std::string, int> seen_;
  vellumo::StoredNameSet names_;
  int line_ = 0;
  int removals_ = 0;
  int file_removals_ = 0;
};

}  // namespace

bool ParseManifest(const std::string& text, Manifest* out, std::string* error) {
  *out = Manifest{};
  out->plan.self_check_on = true;
  Parser p(out, error);
  return p.Run(text);
}

}  // namespace hollin
