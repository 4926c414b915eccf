// The store vardis-cli works on: --store, else $VARDIS_STORE, else the data
// folder's vardis.sqlite (store/store_location.h says what a location text
// may be).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "cli/options.h"
#include "store/store_location.h"

namespace vardis::cli {

// The message for a --store text that names no store, or nothing.
std::optional<std::string> storeTextError(const std::string& text);

// The check run before any port is opened: the message for a VARDIS_STORE
// that names no store (a usage error, exit status 2), or nothing.
std::optional<std::string> storeLocationError(const CliOptions& o);

// The location the options name, the data folder's file by default. Throws
// std::invalid_argument with the message for a text that is none.
store::StoreLocation cliStoreLocation(const CliOptions& o, const std::filesystem::path& dataDir);

}  // namespace vardis::cli
