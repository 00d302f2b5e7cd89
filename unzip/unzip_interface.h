// The record interface of VUnzip.dll: the layouts of UnzipParams, FileSpecEntry and
// UnzipCallbackRecord, the callback action codes and the exported entry points.
// Shared by the library and by its caller (TArchive) so the two cannot drift apart.
// Records are byte blocks with 32-bit little-endian fields; addresses are stored as
// 32-bit values, so records carrying addresses are only meaningful in the 32-bit process.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define VELLUMO_STDCALL __stdcall
#else
#define VELLUMO_STDCALL
#endif

namespace vellumo::unzip {

// Version times 100, returned by GetUnzipVersion and expected in UnzipParams.
constexpr int32_t kUnzipVersion = 160;
// Oldest version that takes an output block (stream mode).
constexpr int32_t kMinStreamVersion = 160;

// Booleans in the records.
constexpr int32_t kTrue = -1;
constexpr int32_t kFalse = 0;

// ---- UnzipParams: 148 bytes, every field 32 bits; unnamed fields are 0 ----
constexpr size_t kUnzipParamsSize = 148;
constexpr size_t kParamWindowHandle = 0;    // owner of the library's own boxes (0: none)
constexpr size_t kParamCaller = 4;          // handed back in every callback record
constexpr size_t kParamVersion = 8;         // kUnzipVersion
constexpr size_t kParamCallback = 12;       // UnzipCallbackFn
constexpr size_t kParamTrace = 16;          // boolean
constexpr size_t kParamUnused20 = 20;       // 0
constexpr size_t kParamPassword = 24;       // const char*, zero-terminated (may be empty)
constexpr size_t kParamTestOnly = 28;       // boolean: check entries, write nothing
constexpr size_t kParamUnused32 = 32;       // 0
constexpr size_t kParamUnused36 = 36;       // 0
constexpr size_t kParamUnused40 = 40;       // the caller sets -1; not used by the library
constexpr size_t kParamVerbose = 44;        // boolean
constexpr size_t kParamUpdate = 48;         // boolean
constexpr size_t kParamFreshen = 52;        // boolean
constexpr size_t kParamKeepFolderNames = 56;  // boolean
constexpr size_t kParamOverwrite = 60;      // boolean
constexpr size_t kParamSpecCount = 64;      // number of FileSpecEntry records
constexpr size_t kParamArchivePath = 68;    // const char*, zero-terminated
constexpr size_t kParamFileSpecs = 72;      // FileSpecEntry array (kFileSpecEntrySize each)
constexpr size_t kParamUnused76 = 76;       // 0
constexpr size_t kParamUseOutputStream = 80;  // boolean: write the entry into the block
constexpr size_t kParamOutputBlock = 84;    // void*, the caller's block
constexpr size_t kParamOutputSize = 88;     // size of that block in bytes
// 92 to 103: 0
constexpr size_t kParamPasswordRequestCount = 104;  // how often the library may ask
// 108 to 143: 0
constexpr size_t kParamEndMark = 144;       // kEndMark
constexpr int32_t kEndMark = 7;

// ---- FileSpecEntry: 72 bytes; offset 0 the address of a zero-terminated text ----
constexpr size_t kFileSpecEntrySize = 72;
constexpr size_t kFileSpecText = 0;

// ---- UnzipCallbackRecord: filled by the library, passed by address ----
constexpr size_t kCallbackRecordSize = 540;
constexpr size_t kCallbackWindowHandle = 0;  // the window handle from UnzipParams
constexpr size_t kCallbackCaller = 4;        // kParamCaller's value
// 8 and 12: 0
constexpr size_t kCallbackAction = 16;       // UnzipAction
constexpr size_t kCallbackErrorCode = 20;    // error code in, answer flag out
constexpr size_t kCallbackSize = 24;         // size or count in, count out
constexpr size_t kCallbackText = 28;         // zero-terminated text, also the answer buffer
constexpr size_t kCallbackTextSize = 512;

// Callback action codes.
enum UnzipAction : int32_t {
  kActionNewFile = 1,       // text: entry name; size: uncompressed size
  kActionProgress = 2,      // size: bytes written since the last report
  kActionEndOfBatch = 3,
  kActionMessage = 4,       // text: message; error code: UnzipError
  kActionTotalFiles = 5,    // size: number of entries to process
  kActionTotalSize = 6,     // size: total uncompressed bytes to process
  kActionNewName = 7,
  kActionPassword = 8,      // text: entry name in, password out; error code bit 0: confirm
                            // form; size: count in and out; answer flag 1 = password given
  kActionCrcError = 9,      // text: entry name; error code: stored CRC; size: computed CRC
  kActionOverwrite = 10,
  kActionSkipped = 11,
  kActionFileComment = 12,
};

// Callback return values.
constexpr int32_t kCallbackContinue = 0;
constexpr int32_t kCallbackStop = -1;

// CRC error: the caller's answer flag 1 keeps the data all the same (file mode); 0 drops it,
// and 2 is what a caller without a handler answers (dropped too).
constexpr int32_t kCrcAnswerExtract = 1;

// Password request: bit 0 of the error-code field asks for the confirm form (adding only).
constexpr int32_t kPasswordConfirmBit = 1;
// The caller caps the count it returns at this value.
constexpr int32_t kMaxPasswordRequestCount = 15;
// Longest password the caller writes back (the text field holds it zero-terminated).
constexpr size_t kMaxPasswordLength = 80;

// Error codes sent with kActionMessage (the caller keeps the low byte as its ErrorCode).
enum UnzipError : int32_t {
  kErrorNone = 0,
  kErrorOpenArchive = 1,       // archive missing or unreadable
  kErrorNotZip = 2,            // no end-of-central-directory record
  kErrorBadDirectory = 3,      // central directory truncated or inconsistent
  kErrorBadLocalHeader = 4,    // local header missing, wrong or past the end
  kErrorUnsupportedMethod = 5,
  kErrorBlockTooSmall = 6,     // output block smaller than the entry
  kErrorTruncatedData = 7,     // compressed data ends early or is corrupt
  kErrorBadCrc = 8,
  kErrorWrongPassword = 9,     // no usable password was given
  kErrorNotFound = 10,         // a specification matched no entry
  kErrorBadParams = 11,        // the record is malformed (end mark, version, nulls)
  kErrorTooLarge = 12,         // the entry cannot fit in this process
  kErrorWriteFile = 13,        // extracting to a file failed
  kErrorUnsafeName = 14,       // a name that would leave the base folder
  kErrorCancelled = 15,        // the callback returned kCallbackStop
};

// Entry points, undecorated stdcall exports.
constexpr const char kUnzipExecName[] = "UnzipExec";
constexpr const char kGetUnzipVersionName[] = "GetUnzipVersion";
using UnzipCallbackFn = int32_t(VELLUMO_STDCALL*)(void* callbackRecord);
using UnzipExecFn = int32_t(VELLUMO_STDCALL*)(void* unzipParams);
using GetUnzipVersionFn = int32_t(VELLUMO_STDCALL*)();

// Field access for the records, little-endian, independent of the host.
inline uint32_t RecordGet(const void* record, size_t offset) {
  const uint8_t* p = static_cast<const uint8_t*>(record) + offset;
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void RecordSet(void* record, size_t offset, uint32_t value) {
  uint8_t* p = static_cast<uint8_t*>(record) + offset;
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
}
inline void RecordSetBool(void* record, size_t offset, bool value) {
  RecordSet(record, offset, static_cast<uint32_t>(value ? kTrue : kFalse));
}
// Addresses in the records are 32 bits wide (the library and its callers are 32-bit).
inline void RecordSetAddress(void* record, size_t offset, const void* address) {
  RecordSet(record, offset, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)));
}
inline void* RecordGetAddress(const void* record, size_t offset) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(RecordGet(record, offset)));
}

}  // namespace vellumo::unzip
