// Stand-ins for VUNZIP.DLL that check the component's side of the record interface:
// FAKE_UNZIP_KIND selects one without GetUnzipVersion, one without UnzipExec, one of
// version 1.50, or the recorder, which keeps what it was given, fills the output block with
// a known pattern and asks for a password through the callback.
#include <windows.h>

#include <cstring>

#include "unzip/unzip_interface.h"

using namespace vellumo::unzip;

#define FAKE_NO_VERSION 1
#define FAKE_NO_EXEC 2
#define FAKE_OLD 3
#define FAKE_RECORDER 4

#if FAKE_UNZIP_KIND == FAKE_RECORDER
namespace {
uint8_t g_params[kUnzipParamsSize];
char g_password[256], g_path[MAX_PATH], g_spec[512], g_answer[kCallbackTextSize];
int32_t g_calls = 0, g_answer_flag = -99, g_answer_count = -99, g_callback_result = -99;
int32_t g_progress_result = -99;
}  // namespace
#endif

extern "C" {

#if FAKE_UNZIP_KIND != FAKE_NO_VERSION
__declspec(dllexport) int32_t __stdcall GetUnzipVersion() { return FAKE_UNZIP_KIND == FAKE_OLD ? 150 : 160; }
#endif

#if FAKE_UNZIP_KIND != FAKE_NO_EXEC
__declspec(dllexport) int32_t __stdcall UnzipExec(void* params) {
#if FAKE_UNZIP_KIND != FAKE_RECORDER
  (void)params;
  return 0;
#else
  ++g_calls;
  std::memcpy(g_params, params, kUnzipParamsSize);
  auto text = [&](size_t offset, char* out, size_t size) {
    const char* p = static_cast<const char*>(RecordGetAddress(params, offset));
    lstrcpynA(out, p ? p : "<null>", static_cast<int>(size));
  };
  text(kParamPassword, g_password, sizeof g_password);
  text(kParamArchivePath, g_path, sizeof g_path);
  const void* specs = RecordGetAddress(params, kParamFileSpecs);
  if (specs && RecordGet(params, kParamSpecCount) > 0)
    lstrcpynA(g_spec, static_cast<const char*>(RecordGetAddress(specs, kFileSpecText)), sizeof g_spec);
  auto callback = reinterpret_cast<UnzipCallbackFn>(RecordGetAddress(params, kParamCallback));
  uint8_t record[kCallbackRecordSize] = {};
  RecordSet(record, kCallbackCaller, RecordGet(params, kParamCaller));
  RecordSet(record, kCallbackAction, kActionProgress);
  lstrcpyA(reinterpret_cast<char*>(record + kCallbackText), "progress");
  g_progress_result = callback(record);
  std::memset(record + kCallbackText, 0, kCallbackTextSize);
  RecordSet(record, kCallbackAction, kActionPassword);
  RecordSet(record, kCallbackErrorCode, 0);
  RecordSet(record, kCallbackSize, 3);
  lstrcpyA(reinterpret_cast<char*>(record + kCallbackText), g_spec);
  g_callback_result = callback(record);
  g_answer_flag = static_cast<int32_t>(RecordGet(record, kCallbackErrorCode));
  g_answer_count = static_cast<int32_t>(RecordGet(record, kCallbackSize));
  lstrcpynA(g_answer, reinterpret_cast<char*>(record + kCallbackText), sizeof g_answer);
  if (std::strcmp(g_password, "fail") == 0) return 0;
  if (RecordGet(params, kParamUseOutputStream) != static_cast<uint32_t>(kTrue)) return 0;
  auto* block = static_cast<uint8_t*>(RecordGetAddress(params, kParamOutputBlock));
  uint32_t size = RecordGet(params, kParamOutputSize);
  for (uint32_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>('A' + i % 26);
  return 1;
#endif
}
#endif

#if FAKE_UNZIP_KIND == FAKE_RECORDER
// What the last UnzipExec call received, for the test.
__declspec(dllexport) void __stdcall FakeLastCall(uint8_t* params, char* password, char* path, char* spec,
                                                  char* answer, int32_t* numbers) {
  std::memcpy(params, g_params, kUnzipParamsSize);
  lstrcpyA(password, g_password);
  lstrcpyA(path, g_path);
  lstrcpyA(spec, g_spec);
  lstrcpyA(answer, g_answer);
  numbers[0] = g_calls;
  numbers[1] = g_answer_flag;
  numbers[2] = g_answer_count;
  numbers[3] = g_callback_result;
  numbers[4] = g_progress_result;
}
__declspec(dllexport) void __stdcall FakeReset() {
  g_calls = 0;
  g_spec[0] = 0;
  g_answer_flag = g_answer_count = g_callback_result = g_progress_result = -99;
}
#endif

}  // extern "C"
