// Every text the install and uninstall procedures write into the log box or show, in one
// table. The odd spacing and spelling are what the installer has always written; users and
// support scripts compare logs against them, so they stay byte for byte.
#pragma once

namespace hollin::texts {

constexpr char kLineEnd[] = "\r\n";

// Install procedure.
constexpr char kExitCaption[] = "exit";
constexpr char kInstallTitle[] = "install logs by Quill installer -12.2";
constexpr char kUnableToCreate[] = " unable to create";
constexpr char kTotalPrefix[] = "total ";
constexpr char kTotalSuffix[] = " files to extract...";
constexpr char kCrcSameSkip[] = " crc is same with the install app included,skip extract";
constexpr char kCrcNotSameOverwrite[] = "crc not same with install app,now overwrite ";
constexpr char kExtractedCrcCorrect[] = " extracted,crc is correctly";
constexpr char kExtractedCrcWrong[] = " extracted,but crc not correctly";
constexpr char kExtractedCrcIgnored[] = " extracted,crc ignore checked";
constexpr char kIsBad[] = " is bad";
constexpr char kAutoImport[] = "autoimport registry files ";
constexpr char kImportHint[] = "if install app not worked,please import the registry file manauge";
constexpr char kRegisterPrefix[] = "register ";
constexpr char kRegisterSucceeded[] = " succeful";
constexpr char kRegisterFailed[] = " failed";
constexpr char kWriteUninstallKey[] = "write registry uninstall key ";
constexpr char kExecute[] = "execute ";
constexpr char kAutorunWritten[] = "check and confirm write to registry autorun ";
constexpr char kExeShell[] = "registry exe shell ";
constexpr char kDllShell[] = "registry dll shell ";
constexpr char kAnyFileShell[] = "registry anyfile shell ";
constexpr char kFolderShell[] = "registry folder shell ";
constexpr char kFileType[] = "registry filetype reg ";
constexpr char kCreateUninstaller[] = "create uninstall app";
constexpr char kUninstallerName[] = "uninstall.exe";
constexpr char kUninstallerOverwritten[] = " crc is not same,overwrite";
constexpr char kUninstallerSame[] = " crc is same,skip write";
constexpr char kUninstallerCreated[] = " created";

// Shortcuts: the desktop messages have two leading blanks and one trailing blank, the
// program-group messages one leading blank and none trailing.
constexpr char kDesktopLinkSame[] = "  link is  same ,skip write ";
constexpr char kDesktopLinkNotSame[] = "  link is not same ,rewrite ";
constexpr char kDesktopLinkBad[] = "  link is bad,rewrite ";
constexpr char kDesktopLinkNew[] = "  newcreate ";
constexpr char kGroupCreated[] = "create program group name ";
constexpr char kGroupLinkSame[] = " link is same,skip write";
constexpr char kGroupLinkNotSame[] = " link is not same,rewrite";
constexpr char kGroupLinkBad[] = " link is bad,rewrite";
constexpr char kGroupLinkNew[] = " new created";

// Uninstall procedure.
constexpr char kUninstallQuestion[] = "do you realy want to uninstall the app now?";
constexpr char kUninstallArgument[] = "/u";
constexpr char kPleaseWaitCaption[] = "please wait!---";
constexpr char kUninstallTitle[] = "uninstall logs by Quill install-uninstall app";
constexpr char kCrcSameDeleted[] = " crc same ,deleted";
constexpr char kRemovePrefix[] = "remove ";
constexpr char kPossibleSubfolder[] = " possible subfolder";
constexpr char kRemoveUninstallKey[] = "remove registry uninstall key ";
constexpr char kRemoveAutorun[] = "remove registry autorun ";
constexpr char kRemoveExeShell[] = "remove registry exe shell";  // path follows with no blank
constexpr char kRemoveDllShell[] = "remove registry dll shell";  // likewise
constexpr char kRemoveAnyFileShell[] = "remove registry anyfile shell ";
constexpr char kRemoveFolderShell[] = "remove registry folder shell ";
constexpr char kRemoveFileType[] = "remove registery ";
constexpr char kSuperKill[3][32] = {"supperkill,remove registry ", "supperkill,remove registry2 ",
                                    "supperkill,remove registry3 "};
constexpr char kDesktopLinkRemoved[] = "desktop lnk has removed";
constexpr char kDeleteGroupShortcut[] = "delete program group shortcut ";
constexpr char kDeleteGroupName[] = "delete program group name ";
constexpr char kDeletedFile[] = "deleted file ";
constexpr char kShutdownThenDelete[] = "shutdown then delete ";
constexpr char kFinishCaption[] = "finish uninstall";
constexpr char kBatchName[] = "del.bat";

}  // namespace hollin::texts
