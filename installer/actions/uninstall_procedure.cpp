// The uninstall procedure: unchanged installed files, empty subfolders, the registry
// entries and shortcuts the action records describe, extra files, and last a batch file
// that deletes the uninstaller once it has ended.
#include <memory>
#include <new>

#include "installer/actions/action_texts.h"
#include "installer/actions/paths.h"
#include "installer/actions/procedures.h"
#include "installer/actions/registration.h"
#include "installer/actions/run_guard.h"
#include "installer/actions/shortcuts.h"
#include "installer/package/file_list.h"
#include "installer/package/header_string.h"
#include "installer/package/package_format.h"
#include "installer/package/package_reader.h"

namespace hollin {

std::string SelfDeleteBatchText(const std::string& own_path) {
  // In a batch file "%" starts a variable: a folder named "100%" must stay itself.
  std::string escaped;
  for (char c : own_path) {
    escaped += c;
    if (c == '%') escaped += '%';
  }
  const std::string quoted = Quoted(escaped);
  return std::string(":try") + texts::kLineEnd + "del " + quoted + texts::kLineEnd + "if exist " +
         quoted + " goto try" + texts::kLineEnd + "del %0" + texts::kLineEnd;
}

namespace {

using texts::kLineEnd;

class Uninstaller {
 public:
  Uninstaller(InstallHost& host, InstallPlatform& platform, const InstallContext& context)
      : host_(host), platform_(platform), context_(context),
        own_folder_(FolderPart(context.own_path)) {}

  void Run();

 private:
  void Log(const std::string& text) { host_.AppendLog(text + kLineEnd); }
  void DeleteInstalledFiles(const std::vector<std::string>& file_list);
  void RemoveRegistryEntries(const ActionRecords& records);
  void RemoveShortcuts(const ActionRecords& records);
  void RemoveFile(const FileRemovalRecord& record);
  void StartSelfDeletion();

  InstallHost& host_;
  InstallPlatform& platform_;
  const InstallContext& context_;
  const std::string own_folder_;
};

void Uninstaller::Run() {
  host_.SetWindowCaption(texts::kPleaseWaitCaption);
  host_.ClearLog();
  Log(texts::kUninstallTitle + platform_.LocalDateTimeText());
  UninstallData data;
  ReadUninstallData(*context_.package, context_.header_end, &data);
  DeleteInstalledFiles(data.file_list);

  Log(texts::kRemovePrefix + own_folder_ + texts::kPossibleSubfolder);
  // Only the folders the installed names lead through: the install folder may be a drive
  // root or Program Files itself, whose other empty folders are not ours.
  std::vector<std::string> names;
  for (const std::string& text : data.file_list) {
    FileListLine line;
    if (ParseFileListLine(text, &line)) names.push_back(line.name);
  }
  RemoveInstalledFolders(platform_, own_folder_, names);

  RemoveRegistryEntries(data.records);
  RemoveShortcuts(data.records);
  for (const FileRemovalRecord& record : data.records.file_removal)
    if (record.present) RemoveFile(record);

  host_.ClosePackage();
  Log(texts::kShutdownThenDelete + context_.own_path);
  StartSelfDeletion();
  host_.SetWindowCaption(texts::kFinishCaption);
  host_.SetActionCaption(texts::kExitCaption);
}

void Uninstaller::DeleteInstalledFiles(const std::vector<std::string>& file_list) {
  for (const std::string& text : file_list) {
    host_.PumpMessages();
    FileListLine line;
    if (!ParseFileListLine(text, &line) || !IsContainedName(line.name)) continue;
    const std::string path = own_folder_ + line.name;
    if (!platform_.FileExists(path) || platform_.FileCrc(path) != line.crc_text) continue;
    Log(path + texts::kCrcSameDeleted);
    platform_.ClearReadOnly(path);
    platform_.DeleteOneFile(path);
  }
}

void Uninstaller::RemoveRegistryEntries(const ActionRecords& records) {
  if (!context_.uninstall_key.empty()) {
    Log(texts::kRemoveUninstallKey + context_.uninstall_key);
    DeleteKeyTree(platform_, kRootIndexLocalMachine, kUninstallKeyPrefix + context_.uninstall_key);
  }
  if (records.autorun.present) {
    const std::string path = own_folder_ + records.autorun.program;
    RemoveAutorunValue(platform_, path);
    Log(texts::kRemoveAutorun + path);
  }
  // An empty verb or extension would name the whole class key (or the classes root): those
  // are never deleted.
  const ExeVerbRecord& exe = records.exe_verb;
  if (exe.present) {
    const std::string path = own_folder_ + exe.program;
    Log(texts::kRemoveExeShell + path);
    if (!exe.verb.empty())
      DeleteKeyTree(platform_, kRootIndexClassesRoot, std::string(kExeShellBase) + "\\" + exe.verb);
    if (!exe.exe_only) {
      Log(texts::kRemoveDllShell + path);
      if (!exe.verb.empty())
        DeleteKeyTree(platform_, kRootIndexClassesRoot, std::string(kDllShellBase) + "\\" + exe.verb);
    }
  }
  struct VerbStep {
    const VerbRecord& record;
    const char* base;
    const char* log;
  };
  for (const VerbStep& step : {VerbStep{records.any_file_verb, kAnyFileShellBase, texts::kRemoveAnyFileShell},
                               VerbStep{records.folder_verb, kFolderShellBase, texts::kRemoveFolderShell}}) {
    if (!step.record.present) continue;
    if (!step.record.verb.empty())
      DeleteKeyTree(platform_, kRootIndexClassesRoot, std::string(step.base) + "\\" + step.record.verb);
    Log(step.log + own_folder_ + step.record.program);
  }
  const FileTypeRecord& type = records.file_type;
  if (type.present) {
    const std::string type_name = type.extension.empty() ? std::string() : LookupTypeName(platform_, type.extension);
    Log(texts::kRemoveFileType + type.extension);
    if (!TrimHeaderText(type_name).empty()) DeleteKeyTree(platform_, kRootIndexClassesRoot, type_name);
    if (!type.extension.empty()) DeleteKeyTree(platform_, kRootIndexClassesRoot, type.extension);
  }
  for (int i = 0; i < 3; ++i) {
    const RegistryRemovalRecord& removal = records.registry_removal[i];
    if (!removal.present) continue;
    if (!TrimHeaderText(removal.key_path_stored).empty())
      DeleteKeyTree(platform_, removal.root_index, removal.key_path_stored);
    Log(texts::kSuperKill[i] + removal.key_path_stored);
  }
}

void Uninstaller::RemoveShortcuts(const ActionRecords& records) {
  if (records.desktop_shortcut.present) {
    const std::string& name = records.desktop_shortcut.link_name;
    const std::string link = DesktopLinkPath(platform_, name);
    if (IsContainedName(name + ".lnk") && platform_.FileExists(link)) platform_.DeleteOneFile(link);
    Log(texts::kDesktopLinkRemoved);
  }
  const ProgramGroupRecord& group = records.program_group;
  if (group.present()) {
    const bool group_ok = IsContainedName(group.group_name);
    const std::string folder = GroupFolderPath(platform_, group.kind, group.group_name);
    for (const GroupLink& entry : group.links) {
      const std::string link = folder + "\\" + entry.link_name + ".lnk";
      if (group_ok && IsContainedName(entry.link_name + ".lnk") && platform_.FileExists(link))
        platform_.DeleteOneFile(link);
      Log(texts::kDeleteGroupShortcut + link);
    }
    Log(texts::kDeleteGroupName + folder);
    if (group_ok) platform_.RemoveFolder(folder);
  }
}

void Uninstaller::RemoveFile(const FileRemovalRecord& record) {
  if (TrimHeaderText(record.file_name_stored).empty()) return;
  if (!IsContainedName(record.file_name_stored)) return;
  std::string folder;
  switch (record.folder_kind) {
    case 2: folder = platform_.WindowsFolder(); break;
    case 3: folder = platform_.SystemFolder(); break;
    default: folder = own_folder_; break;
  }
  const std::string path = folder + record.file_name_stored;
  if (!platform_.FileExists(path)) return;
  Log(texts::kDeletedFile + path);
  platform_.DeleteOneFile(path);
}

void Uninstaller::StartSelfDeletion() {
  const std::string batch = own_folder_ + texts::kBatchName;
  // del cannot remove a read-only file; the batch would loop for ever.
  platform_.ClearReadOnly(context_.own_path);
  {
    std::unique_ptr<Stream> file = platform_.CreateFileForWriting(batch);
    if (!file) return;
    const std::string text = SelfDeleteBatchText(context_.own_path);
    if (file->Write(text.data(), text.size()) != text.size()) return;
  }
  platform_.StartHiddenAtIdle(Quoted(batch));
}

}  // namespace

void RunUninstallProcedure(InstallHost& host, InstallPlatform& platform, const InstallContext& context) {
  RunGuard guard(host);
  if (!guard.entered()) return;
  if (host.ActionCaption() == texts::kExitCaption) {
    host.EndProgram();
    return;
  }
  if (context.first_argument != texts::kUninstallArgument && !host.AskYesNo(texts::kUninstallQuestion))
    return;
  if (!context.package) return;
  try {
    Uninstaller(host, platform, context).Run();
  } catch (const std::bad_alloc&) {
    // Memory a crafted package asked for and the system could not give: reported like the
    // bad block it is, and the program goes on (or, under "/a" or "/u", ends normally).
    host.SetWindowCaption(kDecodeErrorCaption);
  }
}

}  // namespace hollin
