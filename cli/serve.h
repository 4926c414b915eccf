// vardis-cli serve [--listen ADDR:PORT] [--token-file FILE]: the dispatcher's
// read-only web view of the store (web/web_server.h), until SIGTERM or SIGINT.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "cli/options.h"

namespace vardis::cli {

struct ServeArgs {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string tokenFile;  // empty: no token (loopback only)
};

// The arguments of serve, checked; nothing with a message in `error`. A
// listen address other than loopback without --token-file is refused.
std::optional<ServeArgs> parseServeArgs(const CliCommand& cmd, std::string& error);

// Whether `host` is this machine's loopback: 127.0.0.0/8, ::1 or localhost.
bool loopbackHost(const std::string& host);

// Serves the store the options name; the exit status (2 for a usage error,
// 1 when the store or the address cannot be had, 0 once stopped).
int runServe(const CliOptions& o, std::ostream& err);

}  // namespace vardis::cli
