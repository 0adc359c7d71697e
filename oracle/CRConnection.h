#pragma once
// The abstract low-level connection that the generic layers use: connect, disconnect, transaction
// calls and numbered properties read and written with a variant value.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "base/Exception.h"

namespace tarnwick {

// The value of a numbered property. Enumerations travel as their integer value.
using TPropValue = std::variant<std::monostate, bool, int32_t, std::string>;

// Property codes of the connection.
inline constexpr int prAutoCommit = 5;
inline constexpr int prConvertEOL = 28;
inline constexpr int prThreadSafety = 51;
inline constexpr int prMaxStringSize = 58;
inline constexpr int prDateFormat = 60;
inline constexpr int prConnectMode = 62;
inline constexpr int prCharLength = 63;
inline constexpr int prEnableIntegers = 65;
inline constexpr int prInternalName = 66;
inline constexpr int prCharset = 69;
inline constexpr int prDateLanguage = 70;
inline constexpr int prTimeStampFormat = 71;
inline constexpr int prTimeStampTZFormat = 72;
inline constexpr int prNumericCharacters = 75;
inline constexpr int prEnableNumbers = 76;
inline constexpr int prUseUnicode = 77;

// The failure for a property code that the object does not know; its text is the code.
[[noreturn]] inline void UnknownPropCode(int code) {
  throw EAssertionFailed(std::to_string(code) + " (CRAccess)");
}

// Reading a property value of the expected kind; a value of another kind is a caller's fault.
bool PropBool(const TPropValue& v, int code);
int32_t PropInt(const TPropValue& v, int code);
std::string PropString(const TPropValue& v, int code);

class TCRConnection {
 public:
  // The error hook: sees every Oracle error of the connection before it propagates; clearing
  // `fail` turns the error into a silent EAbort.
  using TErrorProc = std::function<void(EDAError& e, bool& fail)>;

  TCRConnection();
  virtual ~TCRConnection() = default;
  TCRConnection(const TCRConnection&) = delete;
  TCRConnection& operator=(const TCRConnection&) = delete;

  virtual void Connect(const std::string& connectString) = 0;
  virtual void Disconnect() = 0;
  virtual void StartTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual void CheckIsValid() = 0;
  virtual bool SetProp(int prop, const TPropValue& value);
  virtual bool GetProp(int prop, TPropValue& value);

  bool GetConnected() const { return FConnected; }
  void SetUsername(const std::string& v) { FUsername = v; }
  void SetPassword(const std::string& v) { FPassword = v; }
  void SetServer(const std::string& v) { FServer = v; }
  const std::string& GetUsername() const { return FUsername; }
  const std::string& GetPassword() const { return FPassword; }
  const std::string& GetServer() const { return FServer; }
  bool GetAutoCommit() const { return FAutoCommit; }
  bool GetConvertEOL() const { return FConvertEOL; }
  bool IsValid() const { return FIsValid; }
  std::chrono::system_clock::time_point CreateTime() const { return FCreateTime; }

  TErrorProc OnError;

 protected:
  std::chrono::system_clock::time_point FCreateTime;
  bool FConnected = false;
  std::string FUsername, FPassword, FServer;
  bool FAutoCommit = false;
  bool FConvertEOL = false;
  bool FIsValid = true;
  void* FPool = nullptr;  // connection pooling is not used: always empty
};

}  // namespace tarnwick
