// Which node a meter is, for every table that names a meter: the node the
// latest stored round found it at, named as the node file of the data folder
// names that node now (matched by its phone), else as the round logged it.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "link/node_directory.h"
#include "store/dispatch.h"
#include "store/sqlite_db.h"

namespace vardis::cli {

struct NodeName {
  std::optional<int> node;  // nothing when no round reached the meter
  std::string name;         // "" when unknown
};

class NodeNames {
 public:
  // Reads the rounds' nodes from the store and the node file (gsm_csd.ini)
  // of `dataDir`; a missing node file leaves the rounds' names.
  NodeNames(store::Database& db, const std::filesystem::path& dataDir);

  NodeName of(long long serial) const;
  // The meter at node `node`: the one the latest round found at the node
  // file's phone of that node, else at that node number; nothing when none.
  std::optional<long long> serialOfNode(int node) const;

 private:
  store::Database& db_;
  NodeDirectory directory_;
  std::map<long long, store::MeterNode> meters_;
};

}  // namespace vardis::cli
