// vardis-cli round --shared NAME: the round's queue in a PostgreSQL store,
// shared with every host that runs a round of that name.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "round/shared_queue.h"
#include "store/shared_round.h"

namespace vardis::cli {

struct SharedRun {
  std::unique_ptr<store::SharedRoundStore> store;
  store::SharedRound round;
  round::SharedIdentity me;
};

// Makes the round of args.shared from `nodes` (their rows when done before
// the round begins, as `initial` gives them) or joins the open one. Nothing,
// with the message said and `status` set, when it cannot: not a PostgreSQL
// store or other commands (2), a store that cannot be used (1).
std::optional<SharedRun> openSharedRound(const RoundArgs& args,
                                         const std::optional<store::StoreLocation>& location,
                                         const store::RoundRow& head,
                                         const std::vector<round::RoundNode>& nodes,
                                         const std::vector<store::RoundNodeRow>& initial,
                                         std::ostream& err, int& status);

// The round's nodes as this host's engine and table take them.
std::vector<round::RoundNode> sharedNodes(const store::SharedRound& round, bool quickDrain);

}  // namespace vardis::cli
