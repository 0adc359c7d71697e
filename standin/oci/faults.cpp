#include "standin/oci/faults.h"

#include <charconv>
#include <cstdlib>

namespace standin::oci {

namespace {

bool toNumber(std::string_view s, long& v) {
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "ORA-03113", "03113" and "3113" all name error 3113.
bool toCode(std::string_view s, int& code) {
  s = trim(s);
  if (s.size() > 4 && (s.substr(0, 4) == "ORA-" || s.substr(0, 4) == "ora-")) s.remove_prefix(4);
  long v = 0;
  if (!toNumber(s, v) || v <= 0 || v > 99999) return false;
  code = static_cast<int>(v);
  return true;
}

}  // namespace

std::string Faults::parseCalls(std::string_view spec) {
  while (!spec.empty()) {
    size_t comma = spec.find(',');
    std::string_view item = trim(spec.substr(0, comma));
    spec = comma == std::string_view::npos ? std::string_view() : spec.substr(comma + 1);
    if (item.empty()) continue;
    size_t c1 = item.find(':');
    size_t c2 = c1 == std::string_view::npos ? c1 : item.find(':', c1 + 1);
    if (c2 == std::string_view::npos) return "expected <function>:<n>[+]:<ORA code>";
    Call call;
    call.function = std::string(trim(item.substr(0, c1)));
    std::string_view nth = trim(item.substr(c1 + 1, c2 - c1 - 1));
    if (!nth.empty() && nth.back() == '+') {
      call.onward = true;
      nth.remove_suffix(1);
    }
    long n = 0;
    if (call.function.rfind("OCI", 0) != 0 || !toNumber(nth, n) || n < 1)
      return "expected <function>:<n>[+]:<ORA code>";
    call.nth = static_cast<unsigned>(n);
    if (!toCode(item.substr(c2 + 1), call.code)) return "bad Oracle error number";
    calls.push_back(std::move(call));
  }
  return {};
}

std::string Faults::parseRows(std::string_view spec) {
  size_t c = spec.find(':');
  long n = 0;
  if (c == std::string_view::npos || !toNumber(trim(spec.substr(0, c)), n) || n < 0 ||
      !toCode(spec.substr(c + 1), rowCode))
    return "expected <rows>:<ORA code>";
  rowLimit = n;
  return {};
}

std::string Faults::parseDelay(std::string_view spec) {
  long n = 0;
  if (!toNumber(trim(spec), n) || n < 0) return "expected milliseconds";
  fetchDelayMs = static_cast<unsigned>(n);
  return {};
}

namespace {

template <class Get>
Faults read(Get get, const char* callKey, const char* rowsKey, const char* delayKey,
            const char* versionKey, std::string& problem) {
  Faults f;
  struct Item {
    const char* key;
    std::string (Faults::*parse)(std::string_view);
  };
  const Item items[] = {{callKey, &Faults::parseCalls},
                        {rowsKey, &Faults::parseRows},
                        {delayKey, &Faults::parseDelay}};
  for (const Item& item : items) {
    const std::string* value = get(item.key);
    if (!value || value->empty()) continue;
    std::string why = (f.*item.parse)(*value);
    if (!why.empty() && problem.empty())
      problem = std::string(item.key) + "=\"" + *value + "\": " + why;
  }
  if (const std::string* v = get(versionKey); v && !v->empty()) f.version = normalizeVersion(*v);
  return f;
}

}  // namespace

Faults Faults::fromEnvironment(std::string& problem) {
  std::string store;
  auto get = [&store](const char* key) -> const std::string* {
    const char* v = std::getenv(key);
    if (!v) return nullptr;
    store = v;
    return &store;
  };
  return read(get, "STANDIN_FAULT_CALL", "STANDIN_FAULT_ROWS", "STANDIN_FAULT_FETCH_DELAY_MS",
              "STANDIN_FAULT_VERSION", problem);
}

Faults Faults::fromSettings(const std::map<std::string, std::string>& settings,
                            std::string& problem) {
  auto get = [&settings](const char* key) -> const std::string* {
    auto it = settings.find(key);
    return it == settings.end() ? nullptr : &it->second;
  };
  return read(get, "fault.call", "fault.rows", "fault.fetch_delay_ms", "version", problem);
}

int Faults::onCall(std::string_view function) {
  bool wanted = false;
  for (const Call& c : calls) wanted = wanted || c.function == function;
  if (!wanted) return 0;
  auto it = counters.find(function);
  if (it == counters.end()) it = counters.emplace(std::string(function), 0).first;
  unsigned n = ++it->second;
  for (const Call& c : calls)
    if (c.function == function && (n == c.nth || (c.onward && n > c.nth))) return c.code;
  return 0;
}

std::string normalizeVersion(std::string_view v) {
  std::string out(trim(v));
  int parts = 1;
  for (char c : out) parts += c == '.';
  for (; parts < 5; ++parts) out += ".0";
  return out;
}

std::string bannerFor(const std::string& version) {
  long major = std::atol(version.c_str());
  std::string v = version;
  if (major <= 7)
    return "Oracle7 Server Release " + v + " - Production Release\nPL/SQL Release 2.3." +
           v.substr(v.find('.', v.find('.') + 1) + 1) +
           " - Production\nCORE Version 3.5.3.0.0 - Production\nTNS for Linux: Version 2.3.3.0.0 - "
           "Production\nNLSRTL Version 3.2.3.0.0 - Production";
  if (major == 8) {
    bool eightI = version.rfind("8.0", 0) != 0;
    if (!eightI)
      return "Oracle8 Enterprise Edition Release " + v + " - Production\nPL/SQL Release " + v +
             " - Production";
    return "Oracle8i Enterprise Edition Release " + v +
           " - Production\nWith the Partitioning option\nJServer Release " + v + " - Production";
  }
  if (major == 9)
    return "Oracle9i Enterprise Edition Release " + v +
           " - Production\nWith the Partitioning, OLAP and Oracle Data Mining options\nJServer "
           "Release " +
           v + " - Production";
  if (major == 10)
    return "Oracle Database 10g Enterprise Edition Release " + v +
           " - Production\nWith the Partitioning, OLAP and Data Mining options";
  if (major == 11)
    return "Oracle Database 11g Enterprise Edition Release " + v +
           " - 64bit Production\nWith the Partitioning, OLAP, Data Mining and Real Application "
           "Testing options";
  if (major >= 18) {
    // From 18c on the banner names the base release and a second line the release update.
    std::string name = std::to_string(major) + (major >= 23 ? "ai" : "c");
    return "Oracle Database " + name + " Enterprise Edition Release " + std::to_string(major) +
           ".0.0.0.0 - Production\nVersion " + v;
  }
  return "Oracle Database " + std::to_string(major) + "c Enterprise Edition Release " + v +
         " - 64bit Production";
}

}  // namespace standin::oci
