// The command sequences that bring the unit up after the port has opened.
#pragma once

#include <string>

namespace plovan {

class Link;

// The "Connect" sequence: "=r", "=p" and "=D00DF" back to back, then the two
// bytes of Amp2FixeD (the second amplitude, four hex digits) into registers
// E1 and E2, each acknowledged. False when a wait ended the sequence
// (time-out, cancel, connection lost).
bool connectSequence(Link& link, const std::string& Amp2FixeD);

// The second "Connect" button's sequence: "=r" and "=D00DF", each acknowledged.
bool shortConnectSequence(Link& link);

} // namespace plovan
