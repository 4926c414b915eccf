#include "web/access.h"

#include <algorithm>
#include <random>

namespace vardis::web {

namespace {

// The most sessions kept: each login makes one; the oldest are forgotten.
constexpr std::size_t kMostSessions = 256;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string newSessionId() {
  std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (int i = 0; i < 8; ++i) {
    const unsigned v = random();
    for (int k = 0; k < 8; ++k) id += kHex[(v >> (4 * k)) & 0xF];
  }
  return id;
}

}  // namespace

bool sameSecret(std::string_view a, std::string_view b) {
  unsigned diff = a.size() == b.size() ? 0 : 1;
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    diff |= static_cast<unsigned>(x ^ y);
  }
  return diff == 0;
}

std::string_view cookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const std::size_t end = std::min(header.find(';'), header.size());
    const std::string_view pair = trimmed(header.substr(0, end));
    const std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
    header.remove_prefix(std::min(end + 1, header.size()));
  }
  return {};
}

Access::Access(std::string token) : token_(std::move(token)) {}

bool Access::allows(std::string_view authorization, std::string_view cookie) const {
  if (!tokenRequired()) return true;
  constexpr std::string_view kBearer = "Bearer ";
  if (authorization.substr(0, kBearer.size()) == kBearer &&
      sameSecret(trimmed(authorization.substr(kBearer.size())), token_)) {
    return true;
  }
  const std::string_view session = cookieValue(cookie, kSessionCookie);
  return !session.empty() && knownSession(session);
}

std::optional<std::string> Access::login(std::string_view offered) {
  if (!tokenRequired() || !sameSecret(trimmed(offered), token_)) return std::nullopt;
  std::string id = newSessionId();
  const std::lock_guard lock(mutex_);
  sessions_.push_back(id);
  if (sessions_.size() > kMostSessions) sessions_.pop_front();
  return id;
}

std::string Access::cookieHeader(const std::string& session) {
  return std::string(kSessionCookie) + "=" + session + "; Path=/; HttpOnly; SameSite=Strict";
}

bool Access::knownSession(std::string_view id) const {
  const std::lock_guard lock(mutex_);
  bool known = false;
  for (const auto& s : sessions_) known = sameSecret(s, id) || known;
  return known;
}

}  // namespace vardis::web
