// Finds request frames in the byte stream from the line. Bytes that do not
// start a well-formed frame are skipped one at a time, so the receiver finds
// its way back after garbage, cut-off frames or line noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/frame.h"

namespace vardis::sim {

// Start mark 0x23, byte 10 = 0x0D and a correct checksum.
bool isWellFormedFrame(const std::uint8_t* bytes);

class FrameReceiver {
 public:
  void feed(const std::uint8_t* data, std::size_t count);
  // The next well-formed frame, or nullopt until more bytes arrive.
  std::optional<Frame> next();

  // Bytes skipped so far as not belonging to any frame.
  std::uint64_t skippedBytes() const { return skipped_; }
  // Bytes held back as the possible start of a frame.
  std::size_t pendingBytes() const { return buffer_.size(); }
  void clear() { buffer_.clear(); }

 private:
  std::vector<std::uint8_t> buffer_;
  std::uint64_t skipped_ = 0;
};

}  // namespace vardis::sim
