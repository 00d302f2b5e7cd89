// In-memory stand-ins for the main window and the operating system, so the procedures run
// natively: a case-insensitive file tree with attributes, a registry, and records of every
// shell start, self-registration and process start.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "installer/actions/install_host.h"
#include "installer/actions/install_platform.h"
#include "installer/package/crc.h"

namespace hollin::testing {

inline std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
inline std::string StripSlash(std::string s) {
  while (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}
inline std::string ParentOf(const std::string& path) {
  std::string p = StripSlash(path);
  size_t slash = p.rfind('\\');
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kHidden = 0x2;
constexpr uint32_t kArchive = 0x20;

class FakeHost : public InstallHost {
 public:
  std::string log;
  std::string path_text = "C:\\Program Files\\Demo\\";
  bool skip_crc = false;
  bool progress_shown = false;
  int progress_max = -1;
  std::vector<int> progress;
  std::string action_caption = "Setup";
  std::vector<bool> enabled_changes;
  std::string window_caption;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answer_yes = true;
  int pumps = 0;
  bool ended = false;
  int package_closed = 0;
  std::function<void()> on_pump;

  void ClearLog() override { log.clear(); }
  void AppendLog(const std::string& text) override { log += text; }
  std::string PathText() override { return path_text; }
  void SetPathText(const std::string& text) override { path_text = text; }
  bool SkipCrcChecked() override { return skip_crc; }
  void ShowProgress() override { progress_shown = true; }
  void SetProgressMax(int maximum) override { progress_max = maximum; }
  void SetProgress(int position) override { progress.push_back(position); }
  std::string ActionCaption() override { return action_caption; }
  void SetActionCaption(const std::string& caption) override { action_caption = caption; }
  void SetActionEnabled(bool enabled) override { enabled_changes.push_back(enabled); }
  void SetWindowCaption(const std::string& caption) override { window_caption = caption; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return answer_yes;
  }
  void PumpMessages() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  void EndProgram() override { ended = true; }
  void ClosePackage() override { ++package_closed; }
};

struct ShellCall {
  std::string file, parameters, folder;
  int show;
  bool operator==(const ShellCall& o) const {
    return file == o.file && parameters == o.parameters && folder == o.folder && show == o.show;
  }
};

class FakePlatform : public InstallPlatform {
 public:
  struct File {
    std::vector<uint8_t> bytes;
    uint32_t attributes = kArchive;
  };
  struct Key {
    std::map<std::string, std::pair<std::string, std::string>> values;  // lower name -> (name, data)
  };

  std::map<std::string, File> files;             // lower path
  std::map<std::string, uint32_t> folders;       // lower path without trailing "\" -> attributes
  std::vector<std::string> created_folders;      // in creation order, as asked
  std::set<std::string> uncreatable;             // lower paths whose creation fails
  std::map<RegistryRoot, std::map<std::string, Key>> registry;  // lower key path
  std::set<std::string> write_denied;            // lower key paths that do not open for writing
  std::map<std::string, std::string> short_paths;
  std::vector<ShellCall> shell_calls;
  intptr_t shell_result = 42;
  std::set<std::string> registrable_dlls;        // lower paths whose DllRegisterServer succeeds
  std::vector<std::string> dll_calls;
  std::vector<std::string> started;
  std::vector<std::string> writes;               // every file opened for writing
  std::map<int, std::string> special = {{kCsidlDesktop, "C:\\users\\me\\Desktop"},
                                        {kCsidlPrograms, "C:\\users\\me\\Start Menu\\Programs"},
                                        {kCsidlStartMenu, "C:\\users\\me\\Start Menu"}};

  FakePlatform() {
    for (const char* f : {"C:", "C:\\windows", "C:\\windows\\system32", "C:\\users", "C:\\users\\me",
                          "C:\\users\\me\\Desktop", "C:\\users\\me\\Start Menu",
                          "C:\\users\\me\\Start Menu\\Programs", "C:\\Program Files"})
      folders[Lower(f)] = kDirectoryAttribute;
    for (RegistryRoot root : {RegistryRoot::kClassesRoot, RegistryRoot::kCurrentUser,
                              RegistryRoot::kLocalMachine, RegistryRoot::kUsers})
      registry[root][""];
    MakeKey(RegistryRoot::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    MakeKey(RegistryRoot::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  }

  // Test set-up and inspection.
  void PutFile(const std::string& path, const std::string& content, uint32_t attributes = kArchive) {
    File& f = files[Lower(path)];
    f.bytes.assign(content.begin(), content.end());
    f.attributes = attributes;
  }
  std::string Content(const std::string& path) const {
    auto it = files.find(Lower(path));
    return it == files.end() ? std::string("<missing>") : std::string(it->second.bytes.begin(), it->second.bytes.end());
  }
  bool Has(const std::string& path) const { return files.count(Lower(path)) > 0; }
  void MakeKey(RegistryRoot root, const std::string& path) {
    std::string p = Lower(StripSlash(path));
    while (!p.empty()) {
      registry[root][p];
      p = ParentOf(p);
    }
  }
  bool HasKey(RegistryRoot root, const std::string& path) const {
    return registry.at(root).count(Lower(StripSlash(path))) > 0;
  }
  // "<missing>" when the key or value is absent.
  std::string Value(RegistryRoot root, const std::string& path, const std::string& name) const {
    auto key = registry.at(root).find(Lower(StripSlash(path)));
    if (key == registry.at(root).end()) return "<missing>";
    auto value = key->second.values.find(Lower(name));
    return value == key->second.values.end() ? "<missing>" : value->second.second;
  }
  size_t KeyCount(RegistryRoot root) const { return registry.at(root).size(); }

  // Files and folders.
  bool FolderExists(const std::string& path) override { return folders.count(Lower(StripSlash(path))) > 0; }
  bool FileExists(const std::string& path) override { return files.count(Lower(path)) > 0; }
  uint32_t Attributes(const std::string& path) override {
    auto folder = folders.find(Lower(StripSlash(path)));
    if (folder != folders.end()) return folder->second;
    auto file = files.find(Lower(path));
    return file == files.end() ? kNoAttributes : file->second.attributes;
  }
  bool CreateOneFolder(const std::string& path) override {
    created_folders.push_back(path);
    std::string p = Lower(StripSlash(path));
    if (uncreatable.count(p) || files.count(p) || folders.count(p)) return false;
    if (!folders.count(ParentOf(p))) return false;
    folders[p] = kDirectoryAttribute;
    return true;
  }
  bool RemoveFolder(const std::string& path) override {
    std::string p = Lower(StripSlash(path));
    if (!folders.count(p)) return false;
    std::vector<FolderEntry> entries;
    ListFolder(p, &entries);
    if (entries.size() > 2) return false;
    folders.erase(p);
    return true;
  }
  bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) override {
    std::string p = Lower(StripSlash(folder));
    if (!folders.count(p)) return false;
    entries->clear();
    entries->push_back({".", kDirectoryAttribute});
    entries->push_back({"..", kDirectoryAttribute});
    for (const auto& [name, attributes] : folders)
      if (!name.empty() && ParentOf(name) == p) entries->push_back({name.substr(p.size() + 1), attributes});
    for (const auto& [name, file] : files)
      if (ParentOf(name) == p) entries->push_back({name.substr(p.size() + 1), file.attributes});
    return true;
  }
  std::string FileCrc(const std::string& path) override {
    auto it = files.find(Lower(path));
    if (it == files.end()) return kCrcErrorText;
    return CrcText(Crc32Update(0, it->second.bytes.data(), it->second.bytes.size()));
  }
  void ClearReadOnly(const std::string& path) override {
    auto it = files.find(Lower(path));
    if (it != files.end() && (it->second.attributes & kReadOnly)) it->second.attributes = 0x80;
  }
  class FileWriter : public Stream {
   public:
    explicit FileWriter(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* data, size_t n) override {
      const uint8_t* p = static_cast<const uint8_t*>(data);
      if (position_ + n > bytes_->size()) bytes_->resize(position_ + n);
      std::copy(p, p + n, bytes_->begin() + static_cast<std::ptrdiff_t>(position_));
      position_ += n;
      return n;
    }
    bool Seek(uint64_t position) override {
      position_ = static_cast<size_t>(position);
      return true;
    }
    uint64_t Position() const override { return position_; }
    uint64_t Size() const override { return bytes_->size(); }

   private:
    std::vector<uint8_t>* bytes_;
    size_t position_ = 0;
  };
  std::unique_ptr<Stream> CreateFileForWriting(const std::string& path) override {
    writes.push_back(path);
    std::string p = Lower(path);
    if (folders.count(p) || !folders.count(ParentOf(p))) return nullptr;
    auto it = files.find(p);
    if (it != files.end() && (it->second.attributes & kReadOnly)) return nullptr;
    File& f = files[p];
    f.bytes.clear();
    return std::make_unique<FileWriter>(&f.bytes);
  }
  bool DeleteOneFile(const std::string& path) override {
    auto it = files.find(Lower(path));
    if (it == files.end() || (it->second.attributes & kReadOnly)) return false;
    files.erase(it);
    return true;
  }
  std::string WindowsFolder() override { return "C:\\windows\\"; }
  std::string SystemFolder() override { return "C:\\windows\\system32\\"; }
  std::string LocalDateTimeText() override { return "12/10/2026 5:30:00 AM"; }

  // Registry.
  bool KeyOpensForReading(RegistryRoot root, const std::string& path) override {
    return registry[root].count(Lower(StripSlash(path))) > 0;
  }
  bool KeyOpensForWriting(RegistryRoot root, const std::string& path) override {
    std::string p = Lower(StripSlash(path));
    return registry[root].count(p) > 0 && !write_denied.count(p);
  }
  bool CreateKey(RegistryRoot root, const std::string& path) override {
    std::string p = Lower(StripSlash(path));
    if (write_denied.count(p)) return false;
    MakeKey(root, path);
    return true;
  }
  bool SetStringValue(RegistryRoot root, const std::string& path, const std::string& name,
                      const std::string& data) override {
    if (!KeyOpensForWriting(root, path)) return false;
    registry[root][Lower(StripSlash(path))].values[Lower(name)] = {name, data};
    return true;
  }
  bool ReadDefaultValue(RegistryRoot root, const std::string& path, std::string* data) override {
    auto key = registry[root].find(Lower(StripSlash(path)));
    if (key == registry[root].end()) return false;
    auto value = key->second.values.find("");
    *data = value == key->second.values.end() ? std::string() : value->second.second;
    return true;
  }
  bool ListSubkeys(RegistryRoot root, const std::string& path, std::vector<std::string>* names) override {
    if (!KeyOpensForWriting(root, path)) return false;
    std::string p = Lower(StripSlash(path));
    names->clear();
    for (const auto& [name, key] : registry[root])
      if (!name.empty() && name != p && ParentOf(name) == p) names->push_back(name.substr(p.empty() ? 0 : p.size() + 1));
    return true;
  }
  bool DeleteSubkey(RegistryRoot root, const std::string& parent, const std::string& child) override {
    if (!KeyOpensForWriting(root, parent)) return false;
    std::string p = Lower(StripSlash(parent));
    std::string c = Lower(StripSlash(p.empty() ? child : p + "\\" + child));
    if (!registry[root].count(c)) return false;
    for (const auto& [name, key] : registry[root])
      if (ParentOf(name) == c) return false;  // has subkeys
    registry[root].erase(c);
    return true;
  }
  bool DeleteValue(RegistryRoot root, const std::string& path, const std::string& name) override {
    if (!KeyOpensForWriting(root, path)) return false;
    return registry[root][Lower(StripSlash(path))].values.erase(Lower(name)) > 0;
  }

  // Shell and processes.
  std::string ShortPath(const std::string& path) override {
    auto it = short_paths.find(Lower(path));
    return it == short_paths.end() ? std::string() : it->second;
  }
  intptr_t ShellOpen(const std::string& file, const std::string& parameters, const std::string& folder,
                     int show) override {
    shell_calls.push_back({file, parameters, folder, show});
    return shell_result;
  }
  bool CallDllRegisterServer(const std::string& path) override {
    dll_calls.push_back(path);
    return registrable_dlls.count(Lower(path)) > 0;
  }
  bool StartHiddenAtIdle(const std::string& command_line) override {
    started.push_back(command_line);
    return true;
  }

  // Shortcuts: a link file holds "LINK:" and its target.
  std::string SpecialFolderPath(int csidl) override {
    auto it = special.find(csidl);
    return it == special.end() ? std::string() : it->second;
  }
  bool WriteLink(const LinkFields& fields, const std::string&, int, const std::string& link_path) override {
    std::string folder = ParentOf(link_path);
    if (!FolderExists(folder)) CreateOneFolder(folder);
    auto out = CreateFileForWriting(link_path);
    if (!out) return false;
    std::string text = "LINK:" + fields.target;
    out->Write(text.data(), text.size());
    return true;
  }
  bool ReadLink(const std::string& link_path, intptr_t, LinkFields* fields) override {
    std::string content = Content(link_path);
    if (content.compare(0, 5, "LINK:") != 0) return false;
    fields->target = content.substr(5);
    return true;
  }
};

}  // namespace hollin::testing
