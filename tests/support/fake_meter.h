// A meter for the scripted line: answers from tables the test fills.
#pragma once

#include <map>

#include "support/fake_line.h"

namespace vardis::test {

struct FakeMeter {
  std::map<int, float> parameters;
  std::map<int, float> floats;
  std::map<int, std::uint32_t> counters;
  std::uint32_t clock = 0;
  std::uint8_t seconds = 0;
  // Archive values by (command, record kind, date code, quantity): raw bits.
  std::map<std::tuple<int, int, std::uint32_t, int>, std::uint32_t> archive;
  std::vector<Frame> requests;

  FakeLine::Responder responder() {
    return [this](const std::vector<std::uint8_t>& sent) -> std::vector<Chunk> {
      if (sent.size() != kFrameLength) return {};
      Frame req{};
      std::copy(sent.begin(), sent.end(), req.begin());
      requests.push_back(req);
      std::uint32_t v = 0;
      std::uint8_t b3 = req[3];
      switch (req[2]) {
        case 0:
          clock = getU32(&req[5]);
          seconds = req[3];
          v = clock;
          break;
        case 1:
          v = clock;
          b3 = seconds;
          break;
        case 4:
          v = bitsFromFloat(floats.count(req[3]) ? floats[req[3]] : 0.0f);
          break;
        case 5:
          v = bitsFromFloat(parameters.count(req[3]) ? parameters[req[3]] : 0.0f);
          break;
        case 8:
          v = counters.count(req[3]) ? counters[req[3]] : 0u;
          break;
        default: {
          const auto key = std::make_tuple(int(req[2]), int(req[4]), getU32(&req[5]), int(req[3]));
          v = archive.count(key) ? archive[key] : 0u;
        }
      }
      const Frame reply = buildFrame(req[1], req[2], b3, req[4], v);
      return {Chunk{5, std::vector<std::uint8_t>(reply.begin(), reply.end())}};
    };
  }
};

}  // namespace vardis::test
