// Fuzzes the reader of the node directory (gsm_csd.ini): any bytes give a
// directory of 0..255 nodes with one phone and one name per node, all UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "format/cp1251.h"
#include "link/node_directory.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vardis;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const NodeDirectory d = parseNodeDirectory(bytes);

  check(d.NodeCount >= 0 && d.NodeCount <= kMaxNodes);
  const auto entries = static_cast<std::size_t>(d.NodeCount) + 1;
  check(d.NodePhone.size() == entries);
  check(d.NodeName.size() == entries);
  check(d.NodePhone[0].empty() && d.NodeName[0].empty());
  for (std::size_t n = 0; n < entries; ++n) {
    check(isValidUtf8(d.NodePhone[n]));
    check(isValidUtf8(d.NodeName[n]));
  }
  check(isValidUtf8(d.warning));

  // Every list position answers, a position without a node with "".
  check(d.phoneForSelection(-1).empty());
  check(d.phoneForSelection(d.NodeCount).empty());
  for (int p = 0; p < d.NodeCount; ++p) {
    check(&d.phoneForSelection(p) == &d.NodePhone[static_cast<std::size_t>(p) + 1]);
  }
  return 0;
}
