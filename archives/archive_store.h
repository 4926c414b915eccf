// Archive records as read from the meter: one row per hour, day or month,
// shared by the hourly, daily and monthly readings. Zero at start and only
// ever overwritten.
#pragma once

#include <array>
#include <cstdint>

namespace vardis {

// The archive quantities in the order of a record's columns: G/M 1..4,
// T 1..4, P 1..4, W 1..2, B 1..2, Tc; and of the integrators: M 1..4, Q 1..2,
// B 1..2, Tc.
inline constexpr std::array<std::uint8_t, 17> kRecordQuantities{0,  1,  2,  3, 9, 10, 11, 12, 13,
                                                                14, 15, 16, 4, 6, 5,  7,  8};
inline constexpr std::array<std::uint8_t, 9> kIntegratorQuantities{0, 1, 2, 3, 4, 6, 5, 7, 8};

struct ArchiveStore {
  static constexpr std::size_t kRows = 256;
  using Table = std::array<double, kRows>;

  // Interval records (channel / heat system k at index k-1).
  std::array<Table, 4> Flow{};         // quantities 0..3, float
  std::array<Table, 2> Heat{};         // quantities 4 and 6, float
  std::array<Table, 4> Temperature{};  // quantities 9..12, float
  std::array<Table, 4> Pressure{};     // quantities 13..16, float
  std::array<Table, 2> RunTime{};      // quantities 5 and 7, unsigned count of 1/10000 h
  Table MainsTime{};                   // quantity 8, unsigned count of 1/10000 h
  std::array<std::uint32_t, kRows> AbnormalWord{};  // quantity 17, raw bits

  // Integrators at the end of a day (record kind 3), raw counts.
  std::array<Table, 4> FlowTotal{};     // quantities 0..3
  std::array<Table, 2> HeatTotal{};     // quantities 4 and 6
  std::array<Table, 2> RunTimeTotal{};  // quantities 5 and 7
  Table MainsTimeTotal{};               // quantity 8

  // The cell came from a reply that never passed the checks: interval
  // quantities 0..17 and integrators 0..8, by row.
  std::array<std::array<bool, kRows>, 18> intervalNoReply{};
  std::array<std::array<bool, kRows>, 9> totalNoReply{};

  // Routing of one archive reply, by the transaction that read it; `good`
  // says whether a reply passed the checks. Returns false when the quantity
  // has no table for that transaction.
  bool storeFloat(std::uint8_t quantity, std::uint16_t row, float value, bool good = true);
  bool storeInteger(std::uint8_t quantity, std::uint16_t row, std::uint32_t value,
                    bool good = true);
  bool storeIntegrator(std::uint8_t quantity, std::uint16_t row, std::uint32_t value,
                       bool good = true);
};

}  // namespace vardis
