#include "unzip/deflate64_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "unzip/stream_decoding.h"

namespace vellumo::unzip {
namespace {

constexpr size_t kWindowSize = 1u << 16;
constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kTableBits = 10;  // codes up to this long are found in one lookup

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistanceBase[32] = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,    33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,  1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code: a lookup table for short codes, counts and sorted symbols for
// the rest (read bit by bit).
struct Huffman {
  uint16_t count[kMaxCodeLength + 1];
  uint16_t symbol[320];
  uint16_t table[1u << kTableBits];  // (symbol << 4) | length; 0: not a short code

  // False when the lengths over-subscribe the code. An incomplete code is accepted: a
  // missing code is found bad when it is read.
  bool Build(const uint8_t* lengths, unsigned n) {
    std::memset(count, 0, sizeof count);
    std::memset(table, 0, sizeof table);
    for (unsigned i = 0; i < n; ++i) ++count[lengths[i]];
    count[0] = 0;
    int left = 1;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return false;
    }
    uint16_t offsets[kMaxCodeLength + 2];
    offsets[1] = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) offsets[len + 1] = offsets[len] + count[len];
    uint16_t next[kMaxCodeLength + 1];
    std::memcpy(next, offsets, sizeof next);
    for (unsigned i = 0; i < n; ++i)
      if (lengths[i]) symbol[next[lengths[i]]++] = static_cast<uint16_t>(i);
    // Short codes into the table, bit-reversed (deflate sends codes from their top bit).
    uint32_t code = 0;
    unsigned index = 0;
    for (unsigned len = 1; len <= kTableBits; ++len) {
      for (unsigned k = 0; k < count[len]; ++k, ++index, ++code) {
        uint32_t reversed = 0;
        for (unsigned b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
        uint16_t entry = static_cast<uint16_t>((symbol[index] << 4) | len);
        for (uint32_t at = reversed; at < (1u << kTableBits); at += 1u << len) table[at] = entry;
      }
      code <<= 1;
    }
    return true;
  }
};

class Decoder {
 public:
  Decoder(InputPump& input, OutputPump& output, DecodeResult& result, uint8_t* window)
      : input_(input), output_(output), result_(result), window_(window) {}

  void Run() {
    bool last = false;
    while (!last) {
      uint32_t header;
      if (!Bits(3, header)) return;
      last = header & 1;
      bool ok;
      switch (header >> 1) {
        case 0: ok = StoredBlock(); break;
        case 1: ok = FixedBlock(); break;
        case 2: ok = DynamicBlock(); break;
        default: ok = Corrupt(); break;
      }
      if (!ok) return;
    }
    if (!Flush()) return;
    if (output_.Left() != 0) result_.status = DecodeStatus::kTruncated;
  }

 private:
  bool Corrupt() {
    result_.status = DecodeStatus::kCorrupt;
    return false;
  }

  // As many bits as the data still has, up to n (<= 32); true when there are n.
  bool TryFill(unsigned n) {
    while (have_ < n) {
      if (inLength_ == 0 && !input_.Next(in_, inLength_)) return false;
      while (have_ <= 56 && inLength_ > 0) {
        bits_ |= static_cast<uint64_t>(*in_++) << have_;
        have_ += 8;
        --inLength_;
      }
    }
    return true;
  }
  // At least n bits; false (status set) when the data ends first.
  bool Fill(unsigned n) {
    if (TryFill(n)) return true;
    result_.status = input_.ReadFailed() ? DecodeStatus::kReadError : DecodeStatus::kTruncated;
    return false;
  }
  bool Bits(unsigned n, uint32_t& v) {
    if (n == 0) {
      v = 0;
      return true;
    }
    if (!Fill(n)) return false;
    v = static_cast<uint32_t>(bits_ & ((uint64_t(1) << n) - 1));
    bits_ >>= n;
    have_ -= n;
    return true;
  }

  bool Symbol(const Huffman& h, unsigned& sym) {
    // Near the end of the data fewer bits than a table index may be left; a short code
    // can still be there, so the bit-by-bit path below takes it.
    if (TryFill(kTableBits)) {
      uint16_t entry = h.table[bits_ & ((1u << kTableBits) - 1)];
      if (entry) {
        bits_ >>= entry & 15;
        have_ -= entry & 15;
        sym = entry >> 4;
        return true;
      }
    }
    // Bit by bit, through the canonical counts.
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
      uint32_t bit;
      if (!Bits(1, bit)) return false;
      code |= static_cast<int>(bit);
      int count = h.count[len];
      if (code - count < first) {
        sym = h.symbol[index + (code - first)];
        return true;
      }
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return Corrupt();  // a code the lengths left unassigned
  }

  bool Space() {
    if (outLength_ != 0) return true;
    if (region_ && !output_.Produced(static_cast<size_t>(out_ - region_))) return false;
    region_ = nullptr;
    if (!output_.Space(region_, outLength_)) return false;
    out_ = region_;
    return true;
  }
  bool Flush() {
    bool ok = !region_ || output_.Produced(static_cast<size_t>(out_ - region_));
    region_ = nullptr;
    outLength_ = 0;
    return ok;
  }
  bool Put(uint8_t b) {
    if (!Space()) return false;
    window_[position_++ & (kWindowSize - 1)] = b;
    *out_++ = b;
    --outLength_;
    return true;
  }

  bool StoredBlock() {
    bits_ >>= have_ & 7;  // to the byte boundary
    have_ -= have_ & 7;
    uint32_t len, nlen;
    if (!Bits(16, len) || !Bits(16, nlen)) return false;
    if ((len ^ 0xFFFF) != nlen) return Corrupt();
    while (len > 0) {
      uint32_t b;
      if (have_ >= 8) {
        if (!Bits(8, b)) return false;
        if (!Put(static_cast<uint8_t>(b))) return false;
        --len;
        continue;
      }
      if (inLength_ == 0 && !input_.Next(in_, inLength_)) {
        result_.status = input_.ReadFailed() ? DecodeStatus::kReadError : DecodeStatus::kTruncated;
        return false;
      }
      if (!Space()) return false;
      size_t n = std::min<size_t>({len, inLength_, outLength_});
      for (size_t i = 0; i < n; ++i) window_[(position_ + i) & (kWindowSize - 1)] = in_[i];
      std::memcpy(out_, in_, n);
      position_ += n;
      out_ += n;
      outLength_ -= n;
      in_ += n;
      inLength_ -= n;
      len -= static_cast<uint32_t>(n);
    }
    return true;
  }

  bool FixedBlock() {
    uint8_t lengths[320];
    unsigned i = 0;
    for (; i < 144; ++i) lengths[i] = 8;
    for (; i < 256; ++i) lengths[i] = 9;
    for (; i < 280; ++i) lengths[i] = 7;
    for (; i < 288; ++i) lengths[i] = 8;
    for (i = 0; i < 32; ++i) lengths[288 + i] = 5;
    literals_.Build(lengths, 288);
    distances_.Build(lengths + 288, 32);
    return Codes();
  }

  bool DynamicBlock() {
    uint32_t hlit, hdist, hclen;
    if (!Bits(5, hlit) || !Bits(5, hdist) || !Bits(4, hclen)) return false;
    hlit += 257;
    hdist += 1;
    hclen += 4;
    if (hlit > 288 || hdist > 32) return Corrupt();
    uint8_t lengths[320] = {};
    for (unsigned i = 0; i < hclen; ++i) {
      uint32_t v;
      if (!Bits(3, v)) return false;
      lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(v);
    }
    Huffman& codeLengths = literals_;  // reused before the literal code is built
    if (!codeLengths.Build(lengths, 19)) return Corrupt();
    uint8_t all[320] = {};
    unsigned n = 0;
    while (n < hlit + hdist) {
      unsigned sym;
      if (!Symbol(codeLengths, sym)) return false;
      if (sym < 16) {
        all[n++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint32_t repeat;
      uint8_t value = 0;
      if (sym == 16) {
        if (n == 0) return Corrupt();
        value = all[n - 1];
        if (!Bits(2, repeat)) return false;
        repeat += 3;
      } else if (sym == 17) {
        if (!Bits(3, repeat)) return false;
        repeat += 3;
      } else if (sym == 18) {
        if (!Bits(7, repeat)) return false;
        repeat += 11;
      } else {
        return Corrupt();
      }
      if (repeat > hlit + hdist - n) return Corrupt();
      while (repeat--) all[n++] = value;
    }
    if (all[256] == 0) return Corrupt();  // no end-of-block code
    if (!literals_.Build(all, hlit) || !distances_.Build(all + hlit, hdist)) return Corrupt();
    return Codes();
  }

  bool Codes() {
    for (;;) {
      unsigned sym;
      if (!Symbol(literals_, sym)) return false;
      if (sym < 256) {
        if (!Put(static_cast<uint8_t>(sym))) return false;
        continue;
      }
      if (sym == 256) return true;
      sym -= 257;
      if (sym >= 29) return Corrupt();
      uint32_t extra;
      if (!Bits(kLengthExtra[sym], extra)) return false;
      uint32_t length = kLengthBase[sym] + extra;
      unsigned d;
      if (!Symbol(distances_, d)) return false;
      if (d >= 32) return Corrupt();
      if (!Bits(kDistanceExtra[d], extra)) return false;
      uint32_t distance = kDistanceBase[d] + extra;
      if (distance > position_ || distance > kWindowSize) return Corrupt();
      while (length > 0) {
        if (!Space()) return false;
        size_t n = std::min<size_t>(length, outLength_);
        for (size_t i = 0; i < n; ++i) {
          uint8_t b = window_[(position_ - distance) & (kWindowSize - 1)];
          window_[position_++ & (kWindowSize - 1)] = b;
          out_[i] = b;
        }
        out_ += n;
        outLength_ -= n;
        length -= static_cast<uint32_t>(n);
      }
    }
  }

  InputPump& input_;
  OutputPump& output_;
  DecodeResult& result_;
  uint8_t* window_;
  uint64_t position_ = 0;  // bytes written so far; the window holds the last 64 KiB
  const uint8_t* in_ = nullptr;
  size_t inLength_ = 0;
  uint64_t bits_ = 0;
  unsigned have_ = 0;
  uint8_t* region_ = nullptr;
  uint8_t* out_ = nullptr;
  size_t outLength_ = 0;
  Huffman literals_;
  Huffman distances_;
};

}  // namespace

DecodeResult DecodeDeflate64(ArchiveSource& source, const EntryData& data,
                             EntryDecryptor* decryptor, OutputTarget& target,
                             const ProgressFn& progress) {
  DecodeResult result;
  std::unique_ptr<uint8_t[]> window(new (std::nothrow) uint8_t[kWindowSize]);
  if (!window) {
    result.status = DecodeStatus::kWriteError;
    return result;
  }
  InputPump input(source, data, decryptor);
  OutputPump output(target, data.uncompressedSize, progress, result);
  Decoder(input, output, result, window.get()).Run();
  return result;
}

}  // namespace vellumo::unzip
