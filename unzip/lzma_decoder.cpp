#include "unzip/lzma_decoder.h"

#include <algorithm>
#include <cstring>

#include <lzma.h>

#include "unzip/stream_decoding.h"

namespace vellumo::unzip {
namespace {

constexpr size_t kFramingSize = 4;      // version, properties size
constexpr size_t kPropertiesSize = 5;   // lc/lp/pb byte, dictionary size
// Larger dictionaries are refused rather than allocated: a size field must not decide how
// much memory a 32-bit process tries to take. Real encoders stay far below.
constexpr uint32_t kMaxDictionary = 256u << 20;

class LzmaCodec : public StreamCodec {
 public:
  explicit LzmaCodec(uint64_t uncompressedSize) : size_(uncompressedSize) {}
  ~LzmaCodec() override { lzma_end(&stream_); }
  LzmaCodec(const LzmaCodec&) = delete;
  LzmaCodec& operator=(const LzmaCodec&) = delete;

  Step Decode(const uint8_t*& in, size_t& inLength, uint8_t*& out, size_t& outLength,
                      bool inputDone) override {
    while (!started_) {
      if (inLength == 0) return kGoingOn;
      header_[headerLength_++] = *in++;
      --inLength;
      if (headerLength_ == kFramingSize &&
          (header_[2] | (header_[3] << 8)) != kPropertiesSize)
        return kCorrupt;
      if (headerLength_ == kFramingSize + kPropertiesSize && !Start()) return kCorrupt;
    }
    stream_.next_in = in;
    stream_.avail_in = inLength;
    stream_.next_out = out;
    stream_.avail_out = outLength;
    lzma_ret ret = lzma_code(&stream_, inputDone ? LZMA_FINISH : LZMA_RUN);
    in += inLength - stream_.avail_in;
    inLength = stream_.avail_in;
    out += outLength - stream_.avail_out;
    outLength = stream_.avail_out;
    if (ret == LZMA_STREAM_END) return kEnd;
    return ret == LZMA_OK ? kGoingOn : kCorrupt;
  }

 private:
  bool Start() {
    const uint8_t* p = header_ + kFramingSize;
    unsigned d = p[0];
    if (d >= 9 * 5 * 5) return false;
    lzma_options_lzma options;
    std::memset(&options, 0, sizeof options);
    options.lc = d % 9;
    options.lp = (d / 9) % 5;
    options.pb = d / 45;
    if (options.lc + options.lp > LZMA_LCLP_MAX) return false;
    uint32_t dictionary = p[1] | (p[2] << 8) | (p[3] << 16) | (uint32_t(p[4]) << 24);
    // A window larger than the entry is never used: no more is allocated than the entry needs.
    if (dictionary > size_) dictionary = static_cast<uint32_t>(size_);
    options.dict_size = std::max<uint32_t>(dictionary, LZMA_DICT_SIZE_MIN);
    if (options.dict_size > kMaxDictionary) return false;
    // The declared size ends the stream; an end marker right after it is accepted too
    // (general-purpose bit 1 says one is there, but writers differ).
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = static_cast<uint32_t>(size_);
    options.ext_size_high = static_cast<uint32_t>(size_ >> 32);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_raw_decoder(&stream_, filters) != LZMA_OK) return false;
    started_ = true;
    return true;
  }

  lzma_stream stream_ = LZMA_STREAM_INIT;
  uint64_t size_;
  uint8_t header_[kFramingSize + kPropertiesSize] = {};
  size_t headerLength_ = 0;
  bool started_ = false;
};

}  // namespace

DecodeResult DecodeLzma(ArchiveSource& source, const EntryData& data, EntryDecryptor* decryptor,
                        OutputTarget& target, const ProgressFn& progress) {
  LzmaCodec codec(data.uncompressedSize);
  return DecodeWithCodec(source, data, decryptor, target, progress, codec);
}

}  // namespace vellumo::unzip
