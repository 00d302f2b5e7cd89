#include "unzip/compression_methods.h"

#include <cstdint>

#include "unzip/size_claim.h"

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
  return MaxPlainBytes(method, compressed);
}

}  // namespace vellumo::unzip
