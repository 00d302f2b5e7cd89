#include "unzip/compression_methods.h"

#include <cstdint>

namespace vellumo::unzip {
namespace {

struct NamedMethod {
  uint16_t method;
  const char* name;
};
constexpr NamedMethod kMethodNames[] = {
    {1, "Shrink"},      {2, "Reduce"},     {3, "Reduce"},    {4, "Reduce"},  {5, "Reduce"},
    {6, "Implode"},     {9, "Deflate64"},  {10, "PKWARE DCL Implode"},       {12, "bzip2"},
    {14, "LZMA"},       {16, "IBM z/OS CMPSC"}, {18, "IBM TERSE"}, {19, "IBM LZ77 z"},
    {20, "zstd"},       {93, "zstd"},      {94, "MP3"},      {95, "xz"},     {96, "JPEG"},
    {97, "WavPack"},    {98, "PPMd"},      {99, "AES"},
};

uint64_t Times(uint64_t value, uint64_t factor, uint64_t constant) {
  if (value > (UINT64_MAX - constant) / factor) return UINT64_MAX;
  return value * factor + constant;
}

}  // namespace

bool IsDecodableMethod(uint16_t method) {
  return method == 0 || method == 8 || method == kMethodDeflate64 || method == kMethodBzip2 ||
         method == kMethodLzma;
}

const char* MethodName(uint16_t method, char (&scratch)[16]) {
  for (const NamedMethod& m : kMethodNames)
    if (m.method == method) return m.name;
  // "method " and the number in decimal.
  const char prefix[] = "method ";
  char digits[6];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + method % 10);
    method = static_cast<uint16_t>(method / 10);
  } while (method);
  int at = 0;
  for (const char* p = prefix; *p; ++p) scratch[at++] = *p;
  while (n) scratch[at++] = digits[--n];
  scratch[at] = 0;
  return scratch;
}

uint64_t MaxPlainSize(uint16_t method, uint64_t compressed) {
  switch (method) {
    case 0: return compressed;
    case 8: return Times(compressed, 1032, 1024);
    case kMethodDeflate64: return Times(compressed, 29128, 1024);
    case kMethodLzma: return Times(compressed, 1u << 17, 1024);
    case kMethodBzip2: return Times(compressed, 1u << 23, 1024);
    default: return UINT64_MAX;
  }
}

}  // namespace vellumo::unzip
