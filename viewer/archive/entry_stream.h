// TEntryStream: a growable memory stream over one contiguous block. The archive component
// sizes it to an entry's uncompressed size and lets the unzip library write straight into the
// block; the browser host reads the page from it. It can also wrap an outside block.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vellumo {

enum class SeekOrigin { Begin, Current, End };

class TEntryStream {
 public:
  TEntryStream() = default;
  ~TEntryStream();
  TEntryStream(const TEntryStream&) = delete;
  TEntryStream& operator=(const TEntryStream&) = delete;

  uint64_t Size() const { return size_; }
  uint64_t Position() const { return position_; }
  // The block, or nullptr while the stream is empty.
  void* Memory() { return block_; }
  const void* Memory() const { return block_; }

  // Resizes the block to exactly `size` bytes, keeping the bytes that fit; new bytes are 0.
  // Returns false, leaving the stream as it was, when the block cannot be allocated (a size
  // that does not fit the address space or memory that is not available) or is held.
  bool SetSize(uint64_t size);
  // A fresh block of exactly `size` bytes whose contents are undefined, for a writer that
  // fills all of it: a claimed size commits no memory until bytes arrive. The old bytes go.
  bool SetSizeForOverwrite(uint64_t size);
  // Size 0, position 0, owned memory released; nothing happens while the block is held.
  void Clear();

  // While held, the block's address and size stay as they are: an outside writer (the
  // unzip library) has the address. Clear, SetSize, growing writes and AdoptBlock are
  // refused until it is let go.
  void Hold() { held_ = true; }
  void LetGo() { held_ = false; }
  bool Held() const { return held_; }

  // Copies up to `count` bytes from the position on; returns how many were copied.
  size_t Read(void* buffer, size_t count);
  // Writes at the position, growing the block as needed; returns the bytes written (0 when
  // the block cannot grow).
  size_t Write(const void* buffer, size_t count);
  // Returns the new position, or -1 (position unchanged) for a target before the start.
  int64_t Seek(int64_t offset, SeekOrigin origin);

  // Makes the stream use an outside block of `size` bytes that it neither frees nor resizes
  // in place (growing copies it into an owned block). Position becomes 0.
  void AdoptBlock(void* block, size_t size);
  bool OwnsBlock() const { return owned_; }

 private:
  void Release();

  uint8_t* block_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  bool owned_ = true;
  bool held_ = false;
};

}  // namespace vellumo
