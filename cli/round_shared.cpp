#include "cli/round_shared.h"

#include <unistd.h>

#include <ostream>
#include <random>

namespace vardis::cli {

namespace {

std::string hostName(const RoundArgs& a) {
  if (!a.host.empty()) return a.host;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') return name;
  return "host";
}

round::SharedIdentity identity(const RoundArgs& a) {
  round::SharedIdentity me;
  me.host = hostName(a);
  std::random_device random;
  me.holder = me.host + "/" + std::to_string(::getpid()) + "/" + std::to_string(random());
  me.leaseSeconds = a.leaseSeconds;
  return me;
}

}  // namespace

std::optional<SharedRun> openSharedRound(const RoundArgs& args,
                                         const std::optional<store::StoreLocation>& location,
                                         const store::RoundRow& head,
                                         const std::vector<round::RoundNode>& nodes,
                                         const std::vector<store::RoundNodeRow>& initial,
                                         std::ostream& err, int& status) {
  if (!location) {
    err << "vardis-cli: round --shared keeps its queue in the store; it cannot go with "
           "--no-store\n";
    status = 2;
    return std::nullopt;
  }
  SharedRun run;
  run.me = identity(args);
  store::SharedRoundSpec spec{args.shared, head.started,  head.commands,           head.address,
                              head.baud,   args.attempts, args.redialPauseSeconds, {}};
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const auto& n = nodes[i];
    store::SharedNodeSpec s{n.number, n.name, n.phone, n.init, n.quickDrain, std::nullopt};
    if (n.readEarlier || !n.refused.empty()) {
      s.doneAlready = initial[i];
      s.doneAlready->host = run.me.host;
    }
    spec.nodes.push_back(std::move(s));
  }
  try {
    run.store = std::make_unique<store::SharedRoundStore>(*location);
    run.round = run.store->openRound(spec);
  } catch (const store::SharedRoundRefused& e) {
    err << "vardis-cli: " << e.what() << "\n";
    status = 2;
    return std::nullopt;
  } catch (const store::StoreError& e) {
    err << "vardis-cli: " << e.what() << "; no node was called\n";
    status = 1;
    return std::nullopt;
  }
  err << "vardis-cli: round --shared " << args.shared << ": "
      << (run.round.created ? "made the round" : "joined the round started " + run.round.started)
      << " of " << run.round.nodes.size() << " nodes, as host " << run.me.host << "\n";
  return run;
}

std::vector<round::RoundNode> sharedNodes(const store::SharedRound& round, bool quickDrain) {
  std::vector<round::RoundNode> out;
  for (const auto& n : round.nodes) {
    round::RoundNode node;
    node.number = n.node;
    node.name = n.name;
    node.phone = n.phone;
    node.init = n.init;
    node.quickDrain = n.quickDrain || quickDrain;
    out.push_back(std::move(node));
  }
  return out;
}

}  // namespace vardis::cli
