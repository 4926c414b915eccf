// The simulated GSM modem of the round's end-to-end tests: nodes 1..n, each
// number with a meter of its own (serial 10000 + node, a history of its own),
// and the data folder with the node file that dials them.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "connection/data_dir.h"
#include "sim/simulator.h"
#include "support/temp_dir.h"

namespace vardis::test {

std::string phone(int node) {
  return "+7900000000" + std::to_string(node);
}
long long serialOf(int node) {
  return 10000 + node;
}

// A modem with the numbers of nodes 1..faults.size(), a meter behind each.
struct ModemSim {
  explicit ModemSim(const std::vector<sim::CallFaults>& faults) : sim(meters(faults), options()) {
    sim.start();
  }
  ~ModemSim() { sim.stop(); }

  static std::vector<sim::NumberedMeter> meters(const std::vector<sim::CallFaults>& faults) {
    std::vector<sim::NumberedMeter> out;
    for (std::size_t k = 0; k < faults.size(); ++k) {
      const int node = static_cast<int>(k) + 1;
      sim::MeterModel m;
      m.pinParameter(0, static_cast<float>(serialOf(node)));
      m.setHistorySeed(static_cast<std::uint64_t>(node));
      out.push_back({{phone(node), faults[k]}, std::move(m)});
    }
    return out;
  }
  static sim::SimulatorOptions options() {
    sim::SimulatorOptions o;
    o.speed = 115200;
    o.modem.connectDelayMs = 100;
    o.modem.guardMs = 50;
    o.modem.noAnswerDelayMs = 200;
    return o;
  }
  std::string port() const { return sim.portPath(); }
  // The modem's events of a kind, by the number of their call.
  std::map<std::string, int> count(sim::ModemEventKind kind) const {
    std::map<std::string, int> n;
    for (const auto& e : sim.modemLog()) n[e.number] += e.kind == kind ? 1 : 0;
    return n;
  }
  std::size_t dials() const {
    std::size_t n = 0;
    for (const auto& e : sim.modemLog()) n += e.kind == sim::ModemEventKind::Dial ? 1 : 0;
    return n;
  }

  sim::Simulator sim;
};

// The data folder with a gsm_csd.ini of `nodes` nodes, node n dialling
// phone(n); the nodes of `noPhone` have no tel_N.
std::filesystem::path dataDir(const TempDir& dir, int nodes, const std::set<int>& noPhone = {}) {
  std::filesystem::create_directories(reportDir(dir.path()));
  std::ofstream ini(nodeFile(dir.path()), std::ios::binary);
  ini << "[baza]\r\nkol_uzlov=" << nodes << "\r\n";
  for (int n = 1; n <= nodes; ++n) {
    if (!noPhone.count(n)) ini << "tel_" << n << "=ATD" << phone(n) << "\r\n";
    ini << "name_u" << n << "=Node " << n << "\r\n";
  }
  return dir.path();
}

}  // namespace vardis::test
