#include "packer/block_check.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "installer/package/header_string.h"

namespace hollin {

std::string BlockCheck::Problem() const {
  if (!has_size) return "shorter than its 4-byte size";
  if (sink_failed) return "could not be written";
  if (data_error) return "holds corrupt zlib data";
  if (!stream_end && produced < unpacked)
    return "ends after " + std::to_string(produced) + " of its " + std::to_string(unpacked) + " bytes";
  if (produced != unpacked)
    return "holds " + std::to_string(produced) + " bytes where its size says " + std::to_string(unpacked);
  if (!stream_end) return "holds a zlib stream that does not end";
  if (left_over) return "has " + std::to_string(left_over) + " bytes after the end of its zlib stream";
  return "";
}

BlockCheck CheckStoredBlock(Stream& s, uint64_t position, uint64_t length,
                            const std::function<bool(const uint8_t*, size_t)>& sink) {
  BlockCheck r;
  if (length < 4 || !s.Seek(position)) return r;
  bool ok = false;
  r.unpacked = ReadU32(s, &ok);
  if (!ok) return r;
  r.has_size = true;
  uint64_t input_left = length - 4;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    r.data_error = true;
    return r;
  }
  constexpr size_t kChunk = 65536;
  std::vector<uint8_t> in(kChunk), out(kChunk);
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (z.avail_in == 0) {
      if (input_left == 0) break;
      size_t got = s.Read(in.data(), static_cast<size_t>(std::min<uint64_t>(input_left, kChunk)));
      if (got == 0) break;
      input_left -= got;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(got);
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      r.data_error = true;
      break;
    }
    size_t n = out.size() - z.avail_out;
    // Only the first U bytes count; more is reported, not passed on.
    uint64_t room = r.produced < r.unpacked ? r.unpacked - r.produced : 0;
    size_t pass = static_cast<size_t>(std::min<uint64_t>(n, room));
    if (pass) {
      r.crc = static_cast<uint32_t>(crc32(r.crc, out.data(), static_cast<uInt>(pass)));
      if (sink && !sink(out.data(), pass)) {
        r.sink_failed = true;
        break;
      }
    }
    r.produced += n;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && input_left == 0) break;
  }
  r.stream_end = rc == Z_STREAM_END;
  if (r.stream_end) r.left_over = z.avail_in + input_left;
  inflateEnd(&z);
  return r;
}

}  // namespace hollin
