#include "cli/node_names.h"

#include "connection/data_dir.h"

namespace vardis::cli {

namespace {

// The node of the node file that dials `phone` (the dial text as the file
// gives it, as the rounds log it), or 0 when none does.
int nodeOfPhone(const NodeDirectory& d, const std::string& phone) {
  if (phone.empty()) return 0;
  for (int n = 1; n <= d.NodeCount; ++n) {
    if (d.NodePhone[static_cast<std::size_t>(n)] == phone) return n;
  }
  return 0;
}

}  // namespace

NodeNames::NodeNames(store::Database& db, const std::filesystem::path& dataDir)
    : db_(db), directory_(loadNodeDirectory(nodeFile(dataDir))), meters_(store::meterNodes(db)) {
  for (auto& [serial, m] : meters_) {
    if (const int n = nodeOfPhone(directory_, m.phone)) {
      m.node = n;
      m.name = directory_.NodeName[static_cast<std::size_t>(n)];
    }
  }
}

NodeName NodeNames::of(long long serial) const {
  const auto it = meters_.find(serial);
  if (it == meters_.end()) return {};
  return {it->second.node, it->second.name};
}

std::optional<long long> NodeNames::serialOfNode(int node) const {
  if (node >= 1 && node <= directory_.NodeCount) {
    const std::string& phone = directory_.NodePhone[static_cast<std::size_t>(node)];
    if (!phone.empty()) {
      if (auto serial = store::serialAtPhone(db_, phone)) return serial;
    }
  }
  return store::serialAtNode(db_, node);
}

}  // namespace vardis::cli
