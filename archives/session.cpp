#include "archives/session.h"

namespace vardis {

Reply readArchiveFloat(Session& s, std::uint8_t quantity) {
  s.link.addr.QuantityIndex = quantity;
  return s.link.ReadArchiveFloatTransaction([&s, quantity](const Reply& r) {
    s.archive.storeFloat(quantity, s.link.addr.ArchiveRow, r.asFloat(), r.good);
  });
}

Reply readArchiveInteger(Session& s, std::uint8_t quantity) {
  s.link.addr.QuantityIndex = quantity;
  return s.link.ReadArchiveIntegerTransaction([&s, quantity](const Reply& r) {
    s.archive.storeInteger(quantity, s.link.addr.ArchiveRow, r.raw, r.good);
  });
}

Reply readIntegrator(Session& s, std::uint8_t quantity) {
  s.link.addr.QuantityIndex = quantity;
  return s.link.ReadIntegratorTransaction([&s, quantity](const Reply& r) {
    s.archive.storeIntegrator(quantity, s.link.addr.ArchiveRow, r.raw, r.good);
  });
}

Reply runTransaction(Session& s, Transaction t) {
  const Addressing& a = s.link.addr;
  switch (t) {
    case Transaction::SetClock:
    case Transaction::ReadClock:
      break;
    case Transaction::ReadFloatValue:
      return readFloatValue(s, a.valueIndex);
    case Transaction::ReadParameter:
      return readParameter(s, a.valueIndex);
    case Transaction::ReadCounterValue:
      return readCounterValue(s, a.valueIndex);
    case Transaction::ReadArchiveFloat:
      return readArchiveFloat(s, a.QuantityIndex);
    case Transaction::ReadArchiveInteger:
      return readArchiveInteger(s, a.QuantityIndex);
    case Transaction::ReadIntegrator:
      return readIntegrator(s, a.QuantityIndex);
  }
  return s.link.run(t);
}

}  // namespace vardis
