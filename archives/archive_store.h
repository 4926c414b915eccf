// Archive records as read from the meter: one row per hour, day or month,
// shared by the hourly, daily and monthly readings. Zero at start and only
// ever overwritten.
#pragma once

#include <array>
#include <cstdint>

namespace vardis {

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

  // Routing of one archive reply, by the transaction that read it.
  // Returns false when the quantity has no table for that transaction.
  bool storeFloat(std::uint8_t quantity, std::uint16_t row, float value);
  bool storeInteger(std::uint8_t quantity, std::uint16_t row, std::uint32_t value);
  bool storeIntegrator(std::uint8_t quantity, std::uint16_t row, std::uint32_t value);
};

}  // namespace vardis
