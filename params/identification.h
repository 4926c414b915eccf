// Identification of the reached meter: its identifying parameters, then its
// report files.
#pragma once

namespace vardis {

class ParameterSession;
struct ConnectionChoice;

// Reads the eight identifying parameters and, when all were answered, creates
// the four report files of this meter. The click of the hidden "Счит парам".
// Throws UserError when the report files cannot be created, or the serial
// number cannot name them (no files then).
void MeterIdentification(ParameterSession& s);

// "Старт": the line opens at the chosen speed; on a direct line the meter is
// identified at once, through a modem the identification waits for the call.
// Throws UserError for an address or port text that is not a number.
void StartConnection(ParameterSession& s, const ConnectionChoice& choice);

// The wait after dialling is over: the meter is identified over the call.
void DialWaitElapsed(ParameterSession& s);

}  // namespace vardis
