// Identification of the reached meter: its identifying parameters, then its
// report files.
#pragma once

#include "connection/connection.h"

namespace vardis {

class ParameterSession;
struct ConnectionChoice;

// No meter answered the identification: no report files were created and
// nothing of it is kept.
class NoMeterAnswer : public UserError {
 public:
  using UserError::UserError;
};

// Every reply was the request itself: the line sends back what it is sent
// (a loopback, a converter or a modem with echo) and no meter answered behind it.
class LineEchoOnly : public NoMeterAnswer {
 public:
  using NoMeterAnswer::NoMeterAnswer;
};

// Not one byte came back to the first request in all its attempts.
class MeterSilent : public NoMeterAnswer {
 public:
  using NoMeterAnswer::NoMeterAnswer;
};

// Reads the eight identifying parameters and, when all were answered, creates
// the four report files of this meter. The click of the hidden "Счит парам".
// Throws MeterSilent when nothing at all came back to the first read (the
// other seven are not tried), LineEchoOnly when every reply was the request
// itself, UserError when the report files cannot be created, or the serial
// number cannot name them (no files then).
void MeterIdentification(ParameterSession& s);

// "Старт": the line opens at the chosen speed; on a direct line the meter is
// identified at once, through a modem the identification waits for the call.
// Throws UserError for an address or port text that is not a number.
void StartConnection(ParameterSession& s, const ConnectionChoice& choice);

// The wait after dialling is over: the meter is identified over the call.
void DialWaitElapsed(ParameterSession& s);

}  // namespace vardis
