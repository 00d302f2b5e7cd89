// The install procedure: files first, each checked against its CRC, then the action records
// in their stored order, then the uninstaller. Every step leaves one line in the log.
#include <memory>
#include <vector>

#include "installer/actions/action_texts.h"
#include "installer/actions/paths.h"
#include "installer/actions/procedures.h"
#include "installer/actions/registration.h"
#include "installer/actions/run_guard.h"
#include "installer/actions/shortcuts.h"
#include "installer/package/block.h"
#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_reader.h"
#include "installer/package/package_writer.h"

namespace hollin {
namespace {

using texts::kLineEnd;

// Where a target file that cannot be created gets its bytes: nowhere.
class DiscardStream : public Stream {
 public:
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void*, size_t) override { return 0; }
  bool Seek(uint64_t) override { return true; }
  uint64_t Position() const override { return 0; }
  uint64_t Size() const override { return 0; }
};

class Installer {
 public:
  Installer(InstallHost& host, InstallPlatform& platform, const InstallContext& context)
      : host_(host), platform_(platform), context_(context), package_(*context.package) {}

  void Run();

 private:
  void Log(const std::string& text) { host_.AppendLog(text + kLineEnd); }
  bool ExtractFiles();
  bool ExtractOne(const std::string& line);
  void SkipBlock(uint64_t length);
  bool WriteBlock(const std::string& target, uint64_t length);
  void RunActionRecords();
  void RegisterListed(const RegisterListRecord& record);
  void CreateUninstaller(uint64_t autorun_position);
  // The program path of a record, or "" (after logging it as bad) when the program string
  // would lead out of the install folder.
  std::string ProgramPath(const std::string& program);

  InstallHost& host_;
  InstallPlatform& platform_;
  const InstallContext& context_;
  Stream& package_;
  std::string folder_;
  std::vector<std::string> file_list_;
};

void Installer::Run() {
  host_.ShowProgress();
  host_.SetProgress(0);
  host_.ClearLog();
  Log(texts::kInstallTitle + platform_.LocalDateTimeText());
  folder_ = host_.PathText();
  if (folder_.empty() || folder_.back() != '\\') {
    folder_.push_back('\\');
    host_.SetPathText(folder_);
  }
  if (!CreateFolderLevels(platform_, folder_)) {
    host_.ShowMessage(folder_ + texts::kUnableToCreate);
    return;
  }
  file_list_ = ReadFileListLines(package_, context_.file_list_position);
  host_.SetProgressMax(static_cast<int>(file_list_.size()));
  Log(texts::kTotalPrefix + std::to_string(file_list_.size()) + texts::kTotalSuffix);
  if (!ExtractFiles()) return;
  RunActionRecords();
  file_list_.clear();
  host_.SetActionCaption(texts::kExitCaption);
}

bool Installer::ExtractFiles() {
  for (size_t i = 0; i < file_list_.size(); ++i) {
    host_.PumpMessages();
    host_.SetProgress(static_cast<int>(i + 1));
    if (!ExtractOne(file_list_[i])) return false;
  }
  return true;
}

void Installer::SkipBlock(uint64_t length) {
  uint64_t start = package_.Position();
  uint64_t size = package_.Size();
  // Past the end the next block cannot be copied and reports itself as bad.
  uint64_t end = (size == UINT64_MAX || start > size || length > size - start) ? size : start + length;
  package_.Seek(end == UINT64_MAX ? start : end);
}

// False ends the procedure.
bool Installer::ExtractOne(const std::string& text) {
  FileListLine line;
  if (!ParseFileListLine(text, &line)) {
    // Without a length no later block can be found.
    Log(folder_ + text.substr(0, text.find('|')) + texts::kIsBad);
    return false;
  }
  const std::string target = folder_ + line.name;
  if (!IsContainedName(line.name)) {
    Log(target + texts::kIsBad);
    SkipBlock(line.block_length);
    return true;
  }
  if (!CreateFolderLevels(platform_, FolderPart(target))) {
    Log(target + texts::kUnableToCreate);
    SkipBlock(line.block_length);
    return true;
  }
  if (platform_.FileExists(target)) {
    if (platform_.FileCrc(target) == line.crc_text) {
      SkipBlock(line.block_length);
      Log(target + texts::kCrcSameSkip);
    } else {
      Log(target + texts::kCrcNotSameOverwrite);
      platform_.ClearReadOnly(target);
      if (!WriteBlock(target, line.block_length)) return false;
    }
  } else {
    if (!WriteBlock(target, line.block_length)) return false;
    if (host_.SkipCrcChecked())
      Log(target + texts::kExtractedCrcIgnored);
    else if (platform_.FileCrc(target) == line.crc_text)
      Log(target + texts::kExtractedCrcCorrect);
    else
      Log(target + texts::kExtractedCrcWrong);
  }
  if (LowerExtension(target) == ".reg" && context_.registry_import == kFlagPresent) {
    Log(texts::kAutoImport + target);
    Log(texts::kImportHint);
    ImportRegistryFile(platform_, target);
  }
  return true;
}

// False (after the " is bad" line) when the block is not all in the package.
bool Installer::WriteBlock(const std::string& target, uint64_t length) {
  DiscardStream discard;
  const uint64_t start = package_.Position();
  {
    std::unique_ptr<Stream> file = platform_.CreateFileForWriting(target);
    if (ExtractFileBlock(package_, length, file ? *file : discard).copied) return true;
  }
  // What there is of a cut block still goes into the file, so that the user has something
  // to look at; the install stops here.
  uint64_t size = package_.Size();
  if (size != UINT64_MAX && start < size && package_.Seek(start)) {
    std::unique_ptr<Stream> file = platform_.CreateFileForWriting(target);
    ExtractFileBlock(package_, size - start, file ? *file : discard);
  }
  Log(target + texts::kIsBad);
  return false;
}

std::string Installer::ProgramPath(const std::string& program) {
  if (IsContainedName(program)) return folder_ + program;
  Log(folder_ + program + texts::kIsBad);
  return std::string();
}

void Installer::RegisterListed(const RegisterListRecord& record) {
  for (const std::string& name : record.names) {
    host_.PumpMessages();
    const std::string path = folder_ + name;
    if (!IsContainedName(name)) {
      Log(path + texts::kIsBad);
      continue;
    }
    bool ok = LowerExtension(name) == ".exe" ? RegisterExe(platform_, path) : RegisterDll(platform_, path);
    Log(texts::kRegisterPrefix + path + (ok ? texts::kRegisterSucceeded : texts::kRegisterFailed));
  }
}

void Installer::RunActionRecords() {
  RegisterListRecord register_list = ReadRegisterListRecord(package_);
  if (register_list.present) RegisterListed(register_list);

  if (!context_.uninstall_key.empty()) {
    Log(texts::kWriteUninstallKey + context_.uninstall_key);
    WriteUninstallKey(platform_, context_.uninstall_key, context_.display_name,
                      folder_ + texts::kUninstallerName);
  }

  ProgramRecord run = ReadRunRecord(package_);
  if (run.present) {
    std::string path = ProgramPath(run.program);
    if (!path.empty()) {
      Log(texts::kExecute + path);
      platform_.ShellOpen(FileNamePart(path), run.has_parameters ? run.parameters : std::string(),
                          FolderPart(path), kShowMinimized);
    }
  }

  const uint64_t autorun_position = package_.Position();
  ProgramRecord autorun = ReadAutorunRecord(package_);
  if (autorun.present) {
    std::string path = ProgramPath(autorun.program);
    if (!path.empty()) {
      WriteAutorunValue(platform_, path, autorun.has_parameters, autorun.parameters);
      Log(texts::kAutorunWritten + path);
    }
  }

  ExeVerbRecord exe_verb = ReadExeVerbRecord(package_);
  if (exe_verb.present) {
    std::string path = ProgramPath(exe_verb.program);
    if (!path.empty()) {
      // An empty verb would make the class's shell key itself the verb.
      bool has_verb = !exe_verb.verb.empty();
      Log(texts::kExeShell + path);
      if (has_verb)
        RegisterShellVerb(platform_, kExeShellBase, exe_verb.verb, exe_verb.has_extra, exe_verb.extra, path);
      if (!exe_verb.exe_only) {
        Log(texts::kDllShell + exe_verb.verb);
        if (has_verb)
          RegisterShellVerb(platform_, kDllShellBase, exe_verb.verb, exe_verb.has_extra, exe_verb.extra, path);
      }
    }
  }

  struct VerbStep {
    const char* log;
    const char* base;
  };
  for (const VerbStep& step : {VerbStep{texts::kAnyFileShell, kAnyFileShellBase},
                               VerbStep{texts::kFolderShell, kFolderShellBase}}) {
    VerbRecord verb = ReadVerbRecord(package_);
    if (!verb.present) continue;
    std::string path = ProgramPath(verb.program);
    if (path.empty()) continue;
    Log(step.log + path);
    if (!verb.verb.empty())
      RegisterShellVerb(platform_, step.base, verb.verb, verb.has_extra, verb.extra, path);
  }

  FileTypeRecord file_type = ReadFileTypeRecord(package_);
  if (file_type.present) {
    std::string path = ProgramPath(file_type.program);
    if (!path.empty()) {
      Log(texts::kFileType + file_type.extension);
      // An empty extension would write the default value of the classes root itself.
      if (!file_type.extension.empty())
        RegisterFileType(platform_, file_type.extension, file_type.description, "open", path, 0,
                         true, true);
    }
  }

  for (int i = 0; i < 3; ++i) ReadRegistryRemovalRecord(package_);  // the uninstaller's

  ShortcutRecord desktop = ReadShortcutRecord(package_);
  if (desktop.present) CreateDesktopShortcut(host_, platform_, folder_, desktop);
  ProgramGroupRecord group = ReadProgramGroupRecord(package_);
  CreateProgramGroup(host_, platform_, folder_, group);

  CreateUninstaller(autorun_position);
}

void Installer::CreateUninstaller(uint64_t autorun_position) {
  Log(texts::kCreateUninstaller);
  const std::string target = folder_ + texts::kUninstallerName;
  std::vector<uint8_t> bytes;
  if (!BuildUninstallerImage(package_, context_.header_end, file_list_, autorun_position, &bytes)) {
    // A cut copy of the program would not even start; better none.
    Log(target + texts::kIsBad);
    return;
  }
  MemoryStream image(std::move(bytes));
  auto write_image = [&] {
    std::unique_ptr<Stream> file = platform_.CreateFileForWriting(target);
    if (file) file->Write(image.bytes().data(), image.bytes().size());
  };
  if (platform_.FileExists(target)) {
    if (platform_.FileCrc(target) != StreamCrcText(image)) {
      platform_.ClearReadOnly(target);
      write_image();
      Log(target + texts::kUninstallerOverwritten);
    } else {
      Log(target + texts::kUninstallerSame);
    }
  } else {
    write_image();
    Log(target + texts::kUninstallerCreated);
  }
}

}  // namespace

void RunInstallProcedure(InstallHost& host, InstallPlatform& platform, const InstallContext& context) {
  RunGuard guard(host);
  if (!guard.entered()) return;
  if (host.ActionCaption() == texts::kExitCaption) {
    host.EndProgram();
    return;
  }
  if (!context.package) return;
  Installer(host, platform, context).Run();
}

}  // namespace hollin
