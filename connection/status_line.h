// The four panels of the status line, refreshed every 200 ms while connected.
#pragma once

#include <string>

namespace vardis {

class Connection;

struct StatusTexts {
  std::string panel0, panel1, panel2, panel3;
};

// The texts from the counters, the link fault and the operation status.
StatusTexts statusTexts(const Connection& s);

}  // namespace vardis
