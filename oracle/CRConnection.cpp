#include "oracle/CRConnection.h"

namespace tarnwick {

namespace {
[[noreturn]] void WrongKind(int code) {
  throw EAssertionFailed("Property " + std::to_string(code) + " given a value of the wrong kind");
}
}  // namespace

bool PropBool(const TPropValue& v, int code) {
  if (const bool* b = std::get_if<bool>(&v)) return *b;
  WrongKind(code);
}

int32_t PropInt(const TPropValue& v, int code) {
  if (const int32_t* i = std::get_if<int32_t>(&v)) return *i;
  WrongKind(code);
}

std::string PropString(const TPropValue& v, int code) {
  if (const std::string* s = std::get_if<std::string>(&v)) return *s;
  WrongKind(code);
}

TCRConnection::TCRConnection() : FCreateTime(std::chrono::system_clock::now()) {}

bool TCRConnection::SetProp(int prop, const TPropValue& value) {
  switch (prop) {
    case prAutoCommit:
      FAutoCommit = PropBool(value, prop);
      break;
    case prConvertEOL:
      FConvertEOL = PropBool(value, prop);
      break;
    default:
      UnknownPropCode(prop);
  }
  return true;
}

bool TCRConnection::GetProp(int prop, TPropValue&) {
  UnknownPropCode(prop);
}

}  // namespace tarnwick
