// The install procedure: files first, each checked against its CRC, then the action records
// in their stored order, then the uninstaller. Every step leaves one line in the log.
#include <memory>
#include <new>
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
#include "installer/package/package_format.h"
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
  bool ExtractOne(const FileBlockLocation& block, const std::string& text);
  bool WriteBlock(const std::string& target, uint64_t position, uint64_t length);
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
  bool skip_crc_ = false;
  std::vector<std::string> file_list_;
  // Every block is read from its own position, and the action records from theirs: the
  // messages let through meanwhile may run commands that move the shared package stream.
  std::vector<FileBlockLocation> blocks_;
  uint64_t records_position_ = 0;
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
  // The box cannot change during the run; its state at the start holds for every file.
  skip_crc_ = host_.SkipCrcChecked();
  if (!CreateFolderLevels(platform_, folder_)) {
    host_.ShowMessage(folder_ + texts::kUnableToCreate);
    return;
  }
  file_list_ = ReadFileListLines(package_, context_.file_list_position);
  blocks_ = LocateFileBlocks(file_list_, package_.Position(), &records_position_);
  host_.SetProgressMax(static_cast<int>(file_list_.size()));
  Log(texts::kTotalPrefix + std::to_string(file_list_.size()) + texts::kTotalSuffix);
  if (!ExtractFiles()) return;
  RunActionRecords();
  file_list_.clear();
  host_.SetActionCaption(texts::kExitCaption);
}

bool Installer::ExtractFiles() {
  for (size_t i = 0; i < blocks_.size(); ++i) {
    host_.PumpMessages();
    host_.SetProgress(static_cast<int>(i + 1));
    if (!ExtractOne(blocks_[i], file_list_[i])) return false;
  }
  return true;
}

// False ends the procedure.
bool Installer::ExtractOne(const FileBlockLocation& block, const std::string& text) {
  if (!block.parsed) {
    // Without a length no later block can be found.
    Log(folder_ + text.substr(0, text.find('|')) + texts::kIsBad);
    return false;
  }
  const FileListLine& line = block.line;
  const std::string target = folder_ + line.name;
  if (!IsContainedName(line.name)) {
    Log(target + texts::kIsBad);
    return true;
  }
  if (!CreateFolderLevels(platform_, FolderPart(target))) {
    Log(target + texts::kUnableToCreate);
    return true;
  }
  if (platform_.FileExists(target)) {
    if (platform_.FileCrc(target) == line.crc_text) {
      Log(target + texts::kCrcSameSkip);
    } else {
      Log(target + texts::kCrcNotSameOverwrite);
      platform_.ClearReadOnly(target);
      if (!WriteBlock(target, block.position, line.block_length)) return false;
    }
  } else {
    if (!WriteBlock(target, block.position, line.block_length)) return false;
    if (skip_crc_)
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
bool Installer::WriteBlock(const std::string& target, uint64_t position, uint64_t length) {
  DiscardStream discard;
  {
    std::unique_ptr<Stream> file = platform_.CreateFileForWriting(target);
    if (ExtractFileBlock(package_, position, length, file ? *file : discard).copied) return true;
  }
  // What there is of a cut block still goes into the file, so that the user has something
  // to look at; the install stops here.
  uint64_t size = package_.Size();
  if (size != UINT64_MAX && position < size) {
    std::unique_ptr<Stream> file = platform_.CreateFileForWriting(target);
    ExtractFileBlock(package_, position, size - position, file ? *file : discard);
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
  // All records are read before any of them is carried out (registration pumps messages).
  ActionRecords records;
  const bool records_there = records_position_ <= package_.Size() && package_.Seek(records_position_);
  if (records_there) ReadActionRecords(package_, &records);
  if (records.register_list.present) RegisterListed(records.register_list);

  if (!context_.uninstall_key.empty()) {
    Log(texts::kWriteUninstallKey + context_.uninstall_key);
    WriteUninstallKey(platform_, context_.uninstall_key, context_.display_name,
                      folder_ + texts::kUninstallerName);
  }

  const ProgramRecord& run = records.run_after_install;
  if (run.present) {
    std::string path = ProgramPath(run.program);
    if (!path.empty()) {
      Log(texts::kExecute + path);
      platform_.ShellOpen(Quoted(FileNamePart(path)), run.has_parameters ? run.parameters : std::string(),
                          FolderPart(path), kShowMinimized);
    }
  }

  const ProgramRecord& autorun = records.autorun;
  if (autorun.present) {
    std::string path = ProgramPath(autorun.program);
    if (!path.empty()) {
      WriteAutorunValue(platform_, path, autorun.has_parameters, autorun.parameters);
      Log(texts::kAutorunWritten + path);
    }
  }

  const ExeVerbRecord& exe_verb = records.exe_verb;
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
    const VerbRecord& verb;
  };
  for (const VerbStep& step : {VerbStep{texts::kAnyFileShell, kAnyFileShellBase, records.any_file_verb},
                               VerbStep{texts::kFolderShell, kFolderShellBase, records.folder_verb}}) {
    const VerbRecord& verb = step.verb;
    if (!verb.present) continue;
    std::string path = ProgramPath(verb.program);
    if (path.empty()) continue;
    Log(step.log + path);
    if (!verb.verb.empty())
      RegisterShellVerb(platform_, step.base, verb.verb, verb.has_extra, verb.extra, path);
  }

  const FileTypeRecord& file_type = records.file_type;
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

  // Records 8 to 10 are the uninstaller's.
  if (records.desktop_shortcut.present)
    CreateDesktopShortcut(host_, platform_, folder_, records.desktop_shortcut);
  CreateProgramGroup(host_, platform_, folder_, records.program_group);

  CreateUninstaller(records_there ? records.autorun.position : UINT64_MAX);
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
  try {
    Installer(host, platform, context).Run();
  } catch (const std::bad_alloc&) {
    // Memory a crafted package asked for and the system could not give: reported like the
    // bad block it is, and the program goes on (or, under "/a" or "/u", ends normally).
    host.SetWindowCaption(kDecodeErrorCaption);
  }
}

}  // namespace hollin
