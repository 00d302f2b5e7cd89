// zlib's inflate (kept for streaming to files) refers to crc32 for gzip streams it never
// sees here. Answering that reference with libdeflate's CRC-32 keeps zlib's own CRC tables,
// about 8 KB, out of the DLL; a later use of another zlib CRC function would pull zlib's
// crc32 object back in and fail the link on the duplicate symbol, which is the intent.
#include <libdeflate.h>
#include <zlib.h>

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  if (!buf) return 0;
  return libdeflate_crc32(static_cast<uint32_t>(crc), buf, len);
}
