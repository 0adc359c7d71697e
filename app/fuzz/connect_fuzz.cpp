// The split of a connection string and the text shown for it, over arbitrary text. The input is
// the connection string, then (after a zero byte, when there is one) another password.
// Checked: the three parts are the texts around the first "/" and the first "@" and recombine
// into the string; the secret part covers the password; what is shown is the string with its
// secret part as "***", it never holds a password that occurs once in the string, and it stays
// the same when the secret part is replaced by another password.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/ExportText.h"
#include "fuzz/FuzzCheck.h"

using tarnwick::ConnectDisplayText;
using tarnwick::ConnectStringSecret;
using tarnwick::SplitConnectString;

namespace {

constexpr std::size_t npos = std::string::npos;

// The text without "/" and "@", so that it can stand in for a password.
std::string PlainText(const std::string& text) {
  std::string plain;
  for (char c : text) {
    if (c != '/' && c != '@') plain += c;
  }
  return plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = input.find('\0');
  const std::string text = input.substr(0, zero);
  const std::string other = zero == npos ? std::string("x") : PlainText(input.substr(zero + 1));

  const auto parts = SplitConnectString(text);
  const std::size_t s = text.find('/');
  const std::size_t a = text.find('@');
  // The password lies between the first "/" (or the start) and the first "@" after it.
  const bool passwordBeforeAt = a != npos && (s == npos || s < a);
  FUZZ_CHECK(parts.Username == (s == npos ? std::string() : text.substr(0, s)));
  FUZZ_CHECK(parts.Server == (a == npos ? text : text.substr(a + 1)));
  const std::size_t passwordBegin = s == npos ? 0 : s + 1;
  FUZZ_CHECK(parts.Password ==
             (passwordBeforeAt ? text.substr(passwordBegin, a - passwordBegin) : std::string()));
  if (s != npos && passwordBeforeAt) {
    FUZZ_CHECK(parts.Username + "/" + parts.Password + "@" + parts.Server == text);
  } else if (s == npos && a != npos) {
    FUZZ_CHECK(parts.Password + "@" + parts.Server == text);
  }

  const auto secret = ConnectStringSecret(text);
  const std::string shown = ConnectDisplayText(text);
  if (!secret.Present()) {
    FUZZ_CHECK(s == npos && a == npos);
    FUZZ_CHECK(shown == text);
    return 0;
  }
  FUZZ_CHECK(secret.Begin <= secret.End && secret.End <= text.size());
  FUZZ_CHECK(shown == text.substr(0, secret.Begin) + "***" + text.substr(secret.End));
  if (passwordBeforeAt) {
    FUZZ_CHECK(secret.Begin == passwordBegin && secret.End == a);
  } else {
    FUZZ_CHECK(parts.Password.empty());
  }
  const std::string hidden = text.substr(secret.Begin, secret.End - secret.Begin);
  if (!hidden.empty() && hidden.find('*') == npos && text.find(hidden) == text.rfind(hidden)) {
    FUZZ_CHECK(shown.find(hidden) == npos);
  }

  // Another password in the same place: the same split around it, the same text shown.
  const std::string replaced = text.substr(0, secret.Begin) + other + text.substr(secret.End);
  FUZZ_CHECK(ConnectDisplayText(replaced) == shown);
  const auto replacedParts = SplitConnectString(replaced);
  FUZZ_CHECK(replacedParts.Password == (passwordBeforeAt ? other : std::string()));
  if (passwordBeforeAt) {
    FUZZ_CHECK(replacedParts.Username == parts.Username && replacedParts.Server == parts.Server);
  }
  return 0;
}
