// Who may look: with a token set, a request needs it, as an
// `Authorization: Bearer TOKEN` header or as the session cookie the login
// form hands out. The token itself is never logged nor put into a cookie.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vardis::web {

// The cookie that holds a session of the login form.
inline constexpr std::string_view kSessionCookie = "vardis_session";

class Access {
 public:
  // No token: every request is let in (the server listens on loopback only).
  explicit Access(std::string token);
  bool tokenRequired() const { return !token_.empty(); }
  // Whether a request with these headers (empty when absent) is let in.
  bool allows(std::string_view authorization, std::string_view cookie) const;
  // A new session when `offered` is the token; the value of its cookie.
  std::optional<std::string> login(std::string_view offered);
  // The Set-Cookie header's value for a session.
  static std::string cookieHeader(const std::string& session);

 private:
  bool knownSession(std::string_view id) const;

  std::string token_;
  mutable std::mutex mutex_;
  std::deque<std::string> sessions_;  // the newest last; the oldest go first
};

// Whether two texts are equal, taking the same time wherever they differ.
bool sameSecret(std::string_view a, std::string_view b);

// The value of cookie `name` in a Cookie header, or "".
std::string_view cookieValue(std::string_view header, std::string_view name);

}  // namespace vardis::web
