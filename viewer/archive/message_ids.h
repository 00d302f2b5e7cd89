// Ids of the archive component's numbered messages; the texts live in the program's string
// table (messages.rc) and are looked up by these ids.
#pragma once

namespace vellumo::msg {

constexpr int kNoZipFileSpecified = 10102;
constexpr int kMemoryNotAvailable = 10103;
constexpr int kPasswordsDoNotMatch = 10104;
constexpr int kNoAddPassword = 10150;
constexpr int kNoExtractPassword = 10151;
constexpr int kOkButton = 10152;
constexpr int kCancelButton = 10153;
constexpr int kPasswordTitle = 10154;
constexpr int kEnterPassword = 10155;
constexpr int kConfirmPassword = 10156;
constexpr int kSeekErrorReadingZip = 10201;
constexpr int kUnknownListError = 10202;
constexpr int kErrorInZipStructure = 10203;
constexpr int kGarbageAtEnd = 10204;
constexpr int kFatalLibraryError = 10501;
constexpr int kUnattendedExtract = 10502;
constexpr int kLibraryCannotStream = 10503;
constexpr int kLibraryLoaded = 10701;
constexpr int kUnzipExecNotFound = 10702;
constexpr int kGetUnzipVersionNotFound = 10703;
constexpr int kLibraryNotFound = 10704;
constexpr int kInputFileMissing = 11001;
constexpr int kZipFileNotOpened = 11002;
constexpr int kNotAValidDrive = 11003;
constexpr int kDriveNotDefined = 11004;
constexpr int kUserCanceled = 11007;
constexpr int kSeekErrorInput = 11008;
constexpr int kCreateOutputFailed = 11009;
constexpr int kReadEndOfCentral = 11011;
constexpr int kReadLocalHeader = 11012;
constexpr int kReadCentralHeader = 11013;
constexpr int kLocalSignatureWrong = 11014;
constexpr int kCentralSignatureWrong = 11015;
constexpr int kReadLocalName = 11016;
constexpr int kReadCentralName = 11017;
constexpr int kReadLocalExtra = 11018;
constexpr int kReadCentralExtra = 11019;
constexpr int kDataDescriptor = 11020;
constexpr int kReadZippedData = 11021;
constexpr int kReadFileComment = 11022;
constexpr int kReadArchiveComment = 11023;
constexpr int kUnknownCopyError = 11024;
constexpr int kUnattendedSpanning = 11025;
constexpr int kLocalHeaderNotFound = 11026;
constexpr int kTempFileNotCreated = 11027;
constexpr int kWriteLocalHeader = 11028;
constexpr int kWriteCentralHeader = 11029;
constexpr int kWriteEndOfCentral = 11030;
constexpr int kExtendedLocalSignature = 11031;
constexpr int kInsertLastDisk = 11033;
constexpr int kInsertDiskVolume = 11034;
constexpr int kInDrive = 11035;
constexpr int kNotAValidZip = 11036;
constexpr int kFirstDiskOfSet = 11037;
constexpr int kNthDiskOfSet = 11038;
constexpr int kFirstFileOfSet = 11045;
// Not in the table the component was designed with: a size field that the entry's data
// cannot fill is refused before memory is taken for it.
constexpr int kEntryDamaged = 11048;

}  // namespace vellumo::msg
