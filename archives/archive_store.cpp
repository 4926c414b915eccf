#include "archives/archive_store.h"

namespace vardis {

bool ArchiveStore::storeFloat(std::uint8_t quantity, std::uint16_t row, float value, bool good) {
  if (row >= kRows) return false;
  const double v = value;
  if (quantity <= 3) {
    Flow[quantity][row] = v;
  } else if (quantity == 4) {
    Heat[0][row] = v;
  } else if (quantity == 6) {
    Heat[1][row] = v;
  } else if (quantity >= 9 && quantity <= 12) {
    Temperature[quantity - 9u][row] = v;
  } else if (quantity >= 13 && quantity <= 16) {
    Pressure[quantity - 13u][row] = v;
  } else {
    return false;
  }
  intervalNoReply[quantity][row] = !good;
  return true;
}

bool ArchiveStore::storeInteger(std::uint8_t quantity, std::uint16_t row, std::uint32_t value,
                                bool good) {
  if (row >= kRows) return false;
  if (quantity == 5 || quantity == 7 || quantity == 8 || quantity == 17) {
    intervalNoReply[quantity][row] = !good;
  }
  const double v = static_cast<double>(value);
  switch (quantity) {
    case 5:
      RunTime[0][row] = v;
      return true;
    case 7:
      RunTime[1][row] = v;
      return true;
    case 8:
      MainsTime[row] = v;
      return true;
    case 17:
      AbnormalWord[row] = value;
      return true;
    default:
      return false;
  }
}

bool ArchiveStore::storeIntegrator(std::uint8_t quantity, std::uint16_t row, std::uint32_t value,
                                   bool good) {
  if (row >= kRows) return false;
  if (quantity < totalNoReply.size()) totalNoReply[quantity][row] = !good;
  const double v = static_cast<double>(value);
  switch (quantity) {
    case 0:
    case 1:
    case 2:
    case 3:
      FlowTotal[quantity][row] = v;
      return true;
    case 4:
      HeatTotal[0][row] = v;
      return true;
    case 5:
      RunTimeTotal[0][row] = v;
      return true;
    case 6:
      HeatTotal[1][row] = v;
      return true;
    case 7:
      RunTimeTotal[1][row] = v;
      return true;
    case 8:
      MainsTimeTotal[row] = v;
      return true;
    default:
      return false;
  }
}

}  // namespace vardis
