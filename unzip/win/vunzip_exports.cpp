// VUnzip.dll's two exports. UnzipExec turns the parameter record into an engine request
// and the engine's events into callback records; nothing is thrown across the export.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "unzip/unzip_engine.h"
#include "unzip/unzip_interface.h"
#include "unzip/unzip_messages.h"
#include "unzip/win/windows_code_pages.h"

using namespace vellumo::unzip;

// The toolchain's default terminate handler prints a demangled type name and so links the
// whole demangler (about 46 KB) into the DLL; every exception is caught at the exports.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

// Longest text read through an address in the record; a missing terminator stops here.
constexpr size_t kMaxInputText = 4096;
// More specifications than any caller sends; protects against a garbage count.
constexpr uint32_t kMaxSpecCount = 65536;

std::string TextAt(const void* address) {
  if (!address) return std::string();
  const char* p = static_cast<const char*>(address);
  size_t n = 0;
  while (n < kMaxInputText && p[n]) ++n;
  return std::string(p, n);
}

bool IsTrue(const uint8_t* params, size_t offset) { return RecordGet(params, offset) != 0; }

class CallbackBridge {
 public:
  CallbackBridge(const uint8_t* params)
      : callback_(reinterpret_cast<UnzipCallbackFn>(RecordGetAddress(params, kParamCallback))),
        window_(RecordGet(params, kParamWindowHandle)),
        caller_(RecordGet(params, kParamCaller)) {}

  bool Deliver(UnzipEvent& e) {
    if (!callback_) return true;
    alignas(4) uint8_t record[kCallbackRecordSize] = {};
    RecordSet(record, kCallbackWindowHandle, window_);
    RecordSet(record, kCallbackCaller, caller_);
    RecordSet(record, kCallbackAction, static_cast<uint32_t>(e.action));
    RecordSet(record, kCallbackErrorCode, static_cast<uint32_t>(e.errorCode));
    RecordSet(record, kCallbackSize, static_cast<uint32_t>(e.size));
    size_t n = std::min(e.text.size(), kCallbackTextSize - 1);
    std::memcpy(record + kCallbackText, e.text.data(), n);
    int32_t answer = callback_(record);
    record[kCallbackText + kCallbackTextSize - 1] = 0;
    e.errorCode = static_cast<int32_t>(RecordGet(record, kCallbackErrorCode));
    e.size = static_cast<int32_t>(RecordGet(record, kCallbackSize));
    e.text.assign(reinterpret_cast<const char*>(record + kCallbackText));
    return answer != kCallbackStop;
  }

  void Message(UnzipError code, const std::string& subject) {
    UnzipEvent e;
    e.action = kActionMessage;
    e.errorCode = code;
    e.text = MessageText(code, subject);
    Deliver(e);
  }

 private:
  UnzipCallbackFn callback_;
  uint32_t window_;
  uint32_t caller_;
};

int32_t Execute(const uint8_t* params) {
  CallbackBridge bridge(params);
  UnzipRequest request;
  uint32_t version = RecordGet(params, kParamVersion);
  request.useOutputBlock = IsTrue(params, kParamUseOutputStream);
  if (version < static_cast<uint32_t>(kMinStreamVersion) && request.useOutputBlock) {
    bridge.Message(kErrorBadParams, ": the output block needs interface version 160");
    return 0;
  }
  request.archivePath = TextAt(RecordGetAddress(params, kParamArchivePath));
  request.password = TextAt(RecordGetAddress(params, kParamPassword));
  request.passwordRequestCount = static_cast<int32_t>(RecordGet(params, kParamPasswordRequestCount));
  request.testOnly = IsTrue(params, kParamTestOnly);
  request.keepFolderNames = IsTrue(params, kParamKeepFolderNames);
  request.overwrite = IsTrue(params, kParamOverwrite);
  request.outputBlock = static_cast<uint8_t*>(RecordGetAddress(params, kParamOutputBlock));
  request.outputSize = RecordGet(params, kParamOutputSize);
  uint32_t specCount = RecordGet(params, kParamSpecCount);
  const uint8_t* specs = static_cast<const uint8_t*>(RecordGetAddress(params, kParamFileSpecs));
  if (request.archivePath.empty() || specCount > kMaxSpecCount || (specCount && !specs) ||
      (request.useOutputBlock && !request.outputBlock && request.outputSize)) {
    bridge.Message(kErrorBadParams, "");
    return 0;
  }
  for (uint32_t i = 0; i < specCount; ++i) {
    std::string spec = TextAt(RecordGetAddress(specs + size_t(i) * kFileSpecEntrySize, kFileSpecText));
    if (!spec.empty()) request.specs.push_back(spec);
  }
  win::WindowsCodePages codePages;
  return RunUnzipFile(request, codePages, [&bridge](UnzipEvent& e) { return bridge.Deliver(e); });
}

}  // namespace

extern "C" __declspec(dllexport) int32_t __stdcall UnzipExec(void* params) {
  if (!params) return 0;
  const uint8_t* record = static_cast<const uint8_t*>(params);
  // A record without the end mark is not laid out as expected: touch nothing in it.
  if (RecordGet(record, kParamEndMark) != static_cast<uint32_t>(kEndMark)) return 0;
  try {
    return Execute(record);
  } catch (const std::bad_alloc&) {
    try {  // telling it needs memory too
      CallbackBridge(record).Message(kErrorTooLarge, TextAt(RecordGetAddress(record, kParamArchivePath)));
    } catch (...) {
    }
    return 0;
  } catch (...) {
    return 0;
  }
}

extern "C" __declspec(dllexport) int32_t __stdcall GetUnzipVersion() { return kUnzipVersion; }
