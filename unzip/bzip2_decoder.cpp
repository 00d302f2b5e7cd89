#include "unzip/bzip2_decoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <bzlib.h>

#include "unzip/stream_decoding.h"

#if defined(BZ_NO_STDIO)
// The library built without stdio leaves its internal-error report to the program. It is
// reached only from states the library holds impossible (never from bad input); the
// library's own stdio build ends the process there too.
extern "C" void bz_internal_error(int) { std::abort(); }
#endif
#if defined(VELLUMO_BZIP2_DECODER_ONLY)
// The compressor is not built into the DLL; its entry points in the library's front file
// still name these two, which nothing here ever reaches.
extern "C" void BZ2_compressBlock(void*, unsigned char) { std::abort(); }
extern "C" void BZ2_blockSort(void*) { std::abort(); }
#endif

namespace vellumo::unzip {
namespace {

class Bzip2Codec : public StreamCodec {
 public:
  Bzip2Codec() { live_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
  ~Bzip2Codec() override {
    if (live_) BZ2_bzDecompressEnd(&stream_);
  }
  Bzip2Codec(const Bzip2Codec&) = delete;
  Bzip2Codec& operator=(const Bzip2Codec&) = delete;
  bool live() const { return live_; }

  Step Decode(const uint8_t*& in, size_t& inLength, uint8_t*& out, size_t& outLength,
                      bool /*inputDone*/) override {
    // The library counts in unsigned int.
    unsigned inStep = static_cast<unsigned>(std::min<size_t>(inLength, UINT_MAX));
    unsigned outStep = static_cast<unsigned>(std::min<size_t>(outLength, UINT_MAX));
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
    stream_.avail_in = inStep;
    stream_.next_out = reinterpret_cast<char*>(out);
    stream_.avail_out = outStep;
    int ret = BZ2_bzDecompress(&stream_);
    in += inStep - stream_.avail_in;
    inLength -= inStep - stream_.avail_in;
    out += outStep - stream_.avail_out;
    outLength -= outStep - stream_.avail_out;
    if (ret == BZ_STREAM_END) return kEnd;
    return ret == BZ_OK ? kGoingOn : kCorrupt;
  }

 private:
  bz_stream stream_{};
  bool live_ = false;
};

}  // namespace

DecodeResult DecodeBzip2(ArchiveSource& source, const EntryData& data, EntryDecryptor* decryptor,
                         OutputTarget& target, const ProgressFn& progress) {
  Bzip2Codec codec;
  if (!codec.live()) {
    DecodeResult result;
    result.status = DecodeStatus::kWriteError;  // no memory for the decoder
    return result;
  }
  return DecodeWithCodec(source, data, decryptor, target, progress, codec);
}

}  // namespace vellumo::unzip
