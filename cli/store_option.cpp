#include "cli/store_option.h"

#include <cstdlib>
#include <stdexcept>

namespace vardis::cli {

namespace {

std::string storeText(const CliOptions& o) {
  if (!o.storeText.empty()) return o.storeText;
  const char* variable = std::getenv(store::kStoreVariable);
  return variable ? variable : "";
}

}  // namespace

std::optional<std::string> storeTextError(const std::string& text) {
  if (text.empty()) return "--store needs a store: sqlite:PATH, or a PostgreSQL URI or conninfo";
  try {
    store::parseStoreLocation(text, {});
  } catch (const std::invalid_argument& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

std::optional<std::string> storeLocationError(const CliOptions& o) {
  if (!o.storeText.empty() || !o.store) return std::nullopt;
  const std::string text = storeText(o);
  if (text.empty()) return std::nullopt;
  if (auto why = storeTextError(text)) {
    // The message names the option; this text came from the variable.
    const std::string option = "--store ";
    if (why->rfind(option, 0) == 0)
      why->replace(0, option.size(), std::string(store::kStoreVariable) + "=");
    return why;
  }
  return std::nullopt;
}

store::StoreLocation cliStoreLocation(const CliOptions& o, const std::filesystem::path& dataDir) {
  return store::parseStoreLocation(storeText(o), dataDir);
}

}  // namespace vardis::cli
