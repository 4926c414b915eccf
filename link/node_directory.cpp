#include "link/node_directory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

#include "format/cp1251.h"

namespace vardis {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSection = "baza";
constexpr std::string_view kCountKey = "kol_uzlov";
constexpr std::string_view kPhonePrefix = "tel_";
constexpr std::string_view kNamePrefix = "name_u";
constexpr std::string_view kInitKey = "init";
constexpr std::string_view kInitPrefix = "init_";
constexpr std::string_view kQuickKey = "quick";
constexpr std::string_view kQuickPrefix = "quick_";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A real directory of 255 nodes takes some tens of kilobytes; anything beyond
// this is not a node directory and only its start is read.
constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `lowerName` is in lower case already.
bool startsWithNoCase(std::string_view text, std::string_view lowerName) {
  if (text.size() < lowerName.size()) return false;
  for (std::size_t i = 0; i < lowerName.size(); ++i) {
    if (lowerAscii(text[i]) != lowerName[i]) return false;
  }
  return true;
}

bool equalsNoCase(std::string_view text, std::string_view lowerName) {
  return text.size() == lowerName.size() && startsWithNoCase(text, lowerName);
}

// The node number written as `digits`: 1 .. kMaxNodes without leading zeros,
// else 0.
int nodeNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 3 || digits.front() == '0') return 0;
  int n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n <= kMaxNodes ? n : 0;
}

// A decimal integer with an optional sign and nothing else, within 32 bits.
std::optional<std::int32_t> parseWholeNumber(std::string_view text) {
  constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > kInt32Max + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > kInt32Max) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The values of the keys that matter, as views into the file's bytes; the
// first occurrence of a key is kept.
struct FoundKeys {
  std::optional<std::string_view> count;
  std::array<std::optional<std::string_view>, kMaxNodes + 1> phone;
  std::array<std::optional<std::string_view>, kMaxNodes + 1> name;
  std::array<std::optional<std::string_view>, kMaxNodes + 1> init;   // [0]: every node's
  std::array<std::optional<std::string_view>, kMaxNodes + 1> quick;  // [0]: every node's

  void take(std::string_view key, std::string_view value) {
    std::optional<std::string_view>* slot = nullptr;
    if (equalsNoCase(key, kCountKey)) {
      slot = &count;
    } else if (startsWithNoCase(key, kPhonePrefix)) {
      if (const int n = nodeNumber(key.substr(kPhonePrefix.size()))) slot = &phone[n];
    } else if (startsWithNoCase(key, kNamePrefix)) {
      if (const int n = nodeNumber(key.substr(kNamePrefix.size()))) slot = &name[n];
    } else if (equalsNoCase(key, kInitKey)) {
      slot = &init[0];
    } else if (startsWithNoCase(key, kInitPrefix)) {
      if (const int n = nodeNumber(key.substr(kInitPrefix.size()))) slot = &init[n];
    } else if (equalsNoCase(key, kQuickKey)) {
      slot = &quick[0];
    } else if (startsWithNoCase(key, kQuickPrefix)) {
      if (const int n = nodeNumber(key.substr(kQuickPrefix.size()))) slot = &quick[n];
    }
    if (slot != nullptr && !slot->has_value()) *slot = value;
  }
};

// One pass over the lines; each byte is looked at a bounded number of times.
FoundKeys scan(std::string_view text) {
  FoundKeys found;
  bool inSection = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos) {
      line = line.substr(0, nul);
    }
    line = trim(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;

    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) continue;  // not a header; ignored
      inSection = equalsNoCase(trim(line.substr(1, close - 1)), kSection);
      continue;
    }
    if (!inSection) continue;

    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, eq));
    if (key.empty()) continue;
    found.take(key, unquote(trim(line.substr(eq + 1))));
  }
  return found;
}

NodeDirectory build(const FoundKeys& found, bool utf8) {
  const auto decode = [utf8](const std::optional<std::string_view>& raw) {
    if (!raw) return std::string();
    return utf8 ? std::string(*raw) : cp1251ToUtf8(*raw);
  };

  NodeDirectory dir;
  int count = 0;
  if (found.count && !found.count->empty()) {
    if (const auto n = parseWholeNumber(*found.count)) {
      count = *n;
      if (count < 0) {
        dir.warning = "kol_uzlov is " + std::to_string(count) + "; no nodes are used";
        count = 0;
      } else if (count > kMaxNodes) {
        dir.warning = "kol_uzlov is " + std::to_string(count) + "; only the first " +
                      std::to_string(kMaxNodes) + " nodes are used";
        count = kMaxNodes;
      }
    } else {
      dir.warning = "kol_uzlov is not a whole number; no nodes are used";
    }
  }

  // quick= and quick_n= are 1 (on) or 0; anything else leaves the full drain.
  const auto quickOn = [&dir](const std::optional<std::string_view>& raw, int n) {
    if (!raw || *raw == "0") return false;
    if (*raw == "1") return true;
    if (dir.warning.empty()) {
      dir.warning = (n == 0 ? std::string("quick") : "quick_" + std::to_string(n)) +
                    " is neither 1 nor 0; the full drain is kept";
    }
    return false;
  };
  dir.NodeCount = count;
  dir.NodePhone.reserve(static_cast<std::size_t>(count) + 1);
  dir.NodeName.reserve(static_cast<std::size_t>(count) + 1);
  dir.NodeInit.reserve(static_cast<std::size_t>(count) + 1);
  for (int n = 1; n <= count; ++n) {
    const auto k = static_cast<std::size_t>(n);
    dir.NodePhone.push_back(decode(found.phone[k]));
    dir.NodeName.push_back(decode(found.name[k]));
    dir.NodeInit.push_back(decode(found.init[k] ? found.init[k] : found.init[0]));
    dir.NodeQuick.push_back(found.quick[k] ? quickOn(found.quick[k], n)
                                           : quickOn(found.quick[0], 0));
  }
  return dir;
}

// The file name for messages, as UTF-8.
std::string fileLabel(const fs::path& file) {
  const std::u8string name = file.filename().u8string();
  std::string label(name.begin(), name.end());
  if (!isValidUtf8(label)) label = cp1251ToUtf8(label);
  return label.empty() ? std::string("node directory") : label;
}

NodeDirectory withWarning(const std::string& label, std::string message) {
  NodeDirectory dir;
  dir.warning = label + ": " + std::move(message);
  return dir;
}

}  // namespace

const std::string& NodeDirectory::phoneForSelection(int position) const {
  static const std::string kNone;
  if (position >= 0 && position < NodeCount) {
    const std::size_t index = static_cast<std::size_t>(position) + 1;
    if (index < NodePhone.size()) return NodePhone[index];
  }
  return NodePhone.empty() ? kNone : NodePhone.front();
}

NodeDirectory parseNodeDirectory(std::string_view bytes) {
  try {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    // Pure ASCII reads the same either way; any other text that is valid
    // UTF-8 is taken as UTF-8, the rest as code page 1251.
    const bool utf8 = isValidUtf8(bytes);
    return build(scan(bytes), utf8);
  } catch (...) {
    // Only running out of memory can get here.
    NodeDirectory dir;
    dir.warning = "the node directory could not be read";
    return dir;
  }
}

NodeDirectory loadNodeDirectory(const fs::path& file) {
  try {
    const std::string label = fileLabel(file);
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) return NodeDirectory{};
    if (ec) return withWarning(label, "cannot be read (" + ec.message() + ")");
    if (!fs::is_regular_file(status)) return withWarning(label, "is not a regular file");

    std::ifstream in(file, std::ios::binary);
    if (!in) return withWarning(label, "cannot be opened");
    std::string bytes;
    std::array<char, 65536> chunk{};
    while (bytes.size() <= kMaxFileBytes && in) {
      in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return withWarning(label, "cannot be read");

    std::string tooLarge;
    if (bytes.size() > kMaxFileBytes) {
      // Keep whole lines only, so that no character is cut in two.
      const std::size_t lastBreak =
          std::string_view(bytes).substr(0, kMaxFileBytes).find_last_of("\r\n");
      bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
      tooLarge = "the file is larger than " + std::to_string(kMaxFileBytes >> 20) +
                 " MiB; only its start is read";
    }

    NodeDirectory dir = parseNodeDirectory(bytes);
    if (!tooLarge.empty()) {
      dir.warning = dir.warning.empty() ? tooLarge : tooLarge + "; " + dir.warning;
    }
    if (!dir.warning.empty()) dir.warning = label + ": " + dir.warning;
    return dir;
  } catch (...) {
    NodeDirectory dir;
    dir.warning = "the node directory could not be read";
    return dir;
  }
}

}  // namespace vardis
