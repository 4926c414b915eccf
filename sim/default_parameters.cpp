// The parameter table of a newly delivered meter, block by block: what the
// simulated meter answers for every parameter that is not pinned.
#include <array>
#include <cstddef>

#include "sim/meter_model.h"

namespace vardis::sim {

namespace {

using ParameterTable = std::array<float, 256>;

std::size_t at(int index) {
  return static_cast<std::size_t>(index);
}

// 0..9: serial number, passwords, line settings and the heat unit.
void setGeneral(ParameterTable& p) {
  p[0] = static_cast<float>(kDefaultSerialNumber);
  p[1] = 1234;  // password for changes
  p[2] = 12;    // password for resets
  p[3] = 1;     // report day
  p[4] = 1;     // automatic daylight-saving switch
  p[5] = 2;     // ultrasonic channels in use
  p[6] = 0;     // network address (follows the meter address)
  p[7] = 9600;  // line speed
  p[8] = 0;     // DCON protocol off
  p[9] = 1;     // heat unit: Gcal
}

// 10..49: ten parameters per flow channel. Channels 1 and 2 are in use, 3 and
// 4 are not (all zero).
void setFlowChannels(ParameterTable& p) {
  struct FlowChannel {
    float maxFlow, minFlow, constFlow, diameter, sensorBase, averaging, zeroOffset, cable,
        correction, delay;
  };
  const FlowChannel flow[2] = {
      {50.0f, 0.5f, 0.0f, 50.0f, 70.71f, 10, 0.25f, 5.5f, 1.0f, 2.5f},
      {50.0f, 0.5f, 0.0f, 50.0f, 70.71f, 10, -0.18f, 7.0f, 0.9985f, 2.48f}};
  for (int k = 0; k < 2; ++k) {
    const FlowChannel& c = flow[k];
    const float values[10] = {c.maxFlow,   c.minFlow,    c.constFlow, c.diameter,   c.sensorBase,
                              c.averaging, c.zeroOffset, c.cable,     c.correction, c.delay};
    for (int j = 0; j < 10; ++j) p[at(10 * (k + 1) + j)] = values[j];
  }
}

// 50..67: the resistance codes, then per temperature channel its constant,
// sensor coefficient, lower and upper limits.
void setTemperatureChannels(ParameterTable& p) {
  p[50] = 16384.0f;  // resistance code at 100 ohm
  p[51] = 24576.0f;  // at 150 ohm
  const float tConst[4] = {70.0f, 45.0f, 5.0f, 0.0f};
  for (int k = 0; k < 4; ++k) {
    const auto base = at(52 + 4 * k);
    p[base] = tConst[k];
    p[base + 1] = 1.385f;
    p[base + 2] = 0.0f;
    p[base + 3] = 150.0f;
  }
}

// 68..89: per pressure channel its constant, measuring range top and bottom
// and limits, then the converter codes.
void setPressureChannels(ParameterTable& p) {
  const float pressure[4][5] = {{0.6f, 1.6f, 0.0f, 1.2f, 0.1f},
                                {0.4f, 1.6f, 0.0f, 1.0f, 0.1f},
                                {0.3f, 1.0f, 0.0f, 0.8f, 0.05f},
                                {0.0f, 0.0f, 0.0f, 0.0f, 0.0f}};
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < 5; ++j) p[at(68 + 5 * k + j)] = pressure[k][j];
  }
  p[88] = 6553.6f;   // converter code at 4 mA
  p[89] = 32768.0f;  // at 20 mA
}

// 90..109: heat calculation of systems 1 and 2, ten parameters each.
void setHeatSystems(ParameterTable& p) {
  const float heat1[10] = {1, 2, 0, 1, 0, 0, 0, 0, 0, 0};
  const float heat2[10] = {1, 3, 0, 1, 0, 0, 0, 0, 0, 0};
  for (int j = 0; j < 10; ++j) {
    p[at(90 + j)] = heat1[j];
    p[at(100 + j)] = heat2[j];
  }
}

// 110..122: the reset and mass-archive switches, the ultrasonic signal window
// and width per channel, two unnamed settings and the chord.
void setSignalBlock(ParameterTable& p) {
  p[110] = 0;  // reset
  p[111] = 0;  // mass archive
  const float window[4] = {40, 40, 0, 0};
  const float width[4] = {12, 12, 0, 0};
  for (int k = 0; k < 4; ++k) {
    p[at(112 + k)] = window[k];
    p[at(116 + k)] = width[k];
  }
  p[120] = 1.25f;
  p[121] = 0.75f;
  p[122] = 1;  // double-beam chord
}

// 123..134: the analog outputs.
void setAnalogOutputs(ParameterTable& p) {
  const float outputs[12] = {1, 50, 2, 50, 4, 20, 4, 20, 1, 1, 0, 0};
  for (int j = 0; j < 12; ++j) p[at(123 + j)] = outputs[j];
}

// 140..179: flow correction, five boundaries and five factors per channel.
void setFlowCorrection(ParameterTable& p) {
  const float bounds[5] = {1, 5, 10, 25, 50};
  for (int c = 0; c < 4; ++c) {
    for (int j = 0; j < 5; ++j) {
      p[at(140 + 10 * c + j)] = c < 2 ? bounds[j] : 0.0f;
      p[at(145 + 10 * c + j)] = 1.0f;
    }
  }
}

// Everything not set here is 0.
ParameterTable buildDefaultParameters() {
  ParameterTable p{};
  setGeneral(p);
  setFlowChannels(p);
  setTemperatureChannels(p);
  setPressureChannels(p);
  setHeatSystems(p);
  setSignalBlock(p);
  setAnalogOutputs(p);
  setFlowCorrection(p);
  return p;
}

}  // namespace

float defaultParameter(int index) {
  static const ParameterTable table = buildDefaultParameters();
  if (index < 0 || index > 255) return 0.0f;
  return table[at(index)];
}

}  // namespace vardis::sim
