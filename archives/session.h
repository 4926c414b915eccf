// One meter's session: the connection, the parameters, the current values and
// the archives. The window, the command line and the tests each own one.
#pragma once

#include <cstdint>

#include "archives/archive_store.h"
#include "archives/last_reading.h"
#include "values/value_session.h"

namespace vardis {

class Session : public ValueSession {
 public:
  using ValueSession::ValueSession;

  ArchiveStore archive;
  LastReading lastReading;
};

// Read one archive value of the addressed record (QuantityIndex, RecordKind,
// date-time) into row ArchiveRow of the store.
Reply readArchiveFloat(Session& s, std::uint8_t quantity);
Reply readArchiveInteger(Session& s, std::uint8_t quantity);
Reply readIntegrator(Session& s, std::uint8_t quantity);

// Runs any transaction as the addressing state stands and routes its reply
// into the store that transaction fills (none for the clock transactions).
Reply runTransaction(Session& s, Transaction t);

}  // namespace vardis
