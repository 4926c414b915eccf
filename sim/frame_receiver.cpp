#include "sim/frame_receiver.h"

#include <algorithm>

namespace vardis::sim {

bool isWellFormedFrame(const std::uint8_t* bytes) {
  return bytes[0] == kStartMark && bytes[10] == kFrameEnd && frameSum(bytes) == bytes[9];
}

void FrameReceiver::feed(const std::uint8_t* data, std::size_t count) {
  buffer_.insert(buffer_.end(), data, data + count);
}

std::optional<Frame> FrameReceiver::next() {
  std::size_t pos = 0;
  std::optional<Frame> found;
  while (true) {
    const auto start =
        std::find(buffer_.begin() + static_cast<std::ptrdiff_t>(pos), buffer_.end(), kStartMark);
    pos = static_cast<std::size_t>(start - buffer_.begin());
    if (buffer_.size() - pos < kFrameLength) break;
    if (isWellFormedFrame(&buffer_[pos])) {
      found.emplace();
      std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(pos), kFrameLength, found->begin());
      skipped_ += pos;
      buffer_.erase(buffer_.begin(),
                    buffer_.begin() + static_cast<std::ptrdiff_t>(pos + kFrameLength));
      return found;
    }
    ++pos;  // a start mark that begins no frame
  }
  skipped_ += pos;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
  return found;
}

}  // namespace vardis::sim
