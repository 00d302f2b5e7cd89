// Every text Hollin shows, in one table. Texts the system fixes are kept byte for byte,
// spelling included; the banner notice and the built-in licence are our own.
#pragma once

namespace hollin::texts {

constexpr char kApplicationCaption[] = "hollin";  // title of the plain message boxes
constexpr char kWindowCaption[] = "Quill Install Load";
constexpr char kUninstallCaptionSuffix[] = "---uninstall";

constexpr char kBannerNotice[] = "Hollin installer: read the licence below before you install.";
constexpr char kUnpackSpacePrefix[] = " total unpack space is need ";
constexpr char kUnpackSpaceSuffix[] = " mb";

constexpr char kAcceptBox[] = "I accept the license agreement";
constexpr char kSkipCrcBox[] = "skip crc check";
constexpr char kBrowseButton[] = "...";
constexpr char kHelpButton[] = "?";
constexpr char kViewButton[] = "View";
constexpr char kSetupButton[] = "Setup";
constexpr char kUninstallButton[] = "Uninstall";
constexpr char kPreviousButton[] = "-";
constexpr char kNextButton[] = "+";
constexpr char kCrcGood[] = "install app crc is correctly";
constexpr char kCrcBad[] =
    "Install app crc is bad,this it may be internet tranfer error,disk error,burn error,"
    "virus infeect,someone modify";
constexpr char kMakerNoticeInitial[] = "the Hollin team";
constexpr char kLabel7[] = "Label7";
constexpr char kLabel8[] = "Label8";
constexpr char kLabel9[] = "Label9";

constexpr char kFolderDialogTitle[] = "please select a folder to install";
constexpr char kFallbackFolder[] = "c:\\";

constexpr char kSelfCheckNotice[] = "crc_calc,please wait";
// Shown when the running program cannot read its own file (after the path).
constexpr char kPackageUnreadable[] = "\r\ncannot be read: the install package is missing";
// The last line of a text in the log box when its end was left out (see ShownText).
constexpr char kRestNotShown[] = "[... the rest of this text is not shown]\r\n";

// The help box: these lines joined by CR LF.
constexpr const char* kHelpLines[] = {
    "install app use paramst /a autoinstall",
    "/v start goto view model,/c skip crccheck",
    "uninstall.exe supports /u autouninstall iteself",
    "if repaire or update a software please choose the old location",
    "update a software is not necessary uninstall old version",
};

// The built-in licence of packages made with our packer; a package's own licence replaces it.
constexpr char kBuiltInLicence[] =
    "                         Hollin Installer Licence\r\n"
    "\r\n"
    "1. Installing: you may install the software carried by this installer on any number of "
    "computers that you own or administer, and remove it again with the uninstaller that the "
    "installation leaves in its folder.\r\n"
    "2. Backups: you may keep copies of this installer and of the installed files as backups, "
    "as long as every copy stays complete and unchanged.\r\n"
    "3. Reverse engineering: you may not disassemble, decompile or otherwise take apart the "
    "installer or the installed programs, except as far as the law of your country allows it.\r\n"
    "4. Copying to CD: you may copy this installer unchanged onto a CD or another medium and "
    "pass it on free of charge; selling such copies needs written permission.\r\n"
    "5. OEM use: bundling the installer or the installed software with hardware or other "
    "products for sale needs a separate agreement with the maker.\r\n"
    "\r\n"
    "Made by the Hollin team, 10 December 2026.\r\n";

}  // namespace hollin::texts
