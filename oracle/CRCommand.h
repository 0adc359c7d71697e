#pragma once
// The abstract command that the generic layers use to run one statement on a TCRConnection,
// its parameter descriptions and the states of a statement's life.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "oracle/CRConnection.h"

namespace tarnwick {

// The life of a statement: csInactive -> (Prepare) csPrepared (csOpen, csParsed in between with
// the version-7 calls) -> (binding) csBound -> csExecuting -> csExecuted -> fetching ->
// (Finish) csInactive. A failed execution returns to the state before it.
enum TCursorState : uint8_t {
  csInactive = 0,
  csOpen = 1,
  csParsed = 2,
  csPrepared = 3,
  csBound = 4,
  csExecuting = 5,
  csExecuted = 6,
  csFetching = 7,
  csFetchingAll = 8,
  csCanceled = 9,
};

// Property codes of the commands.
inline constexpr int prScanParams = 11;
inline constexpr int prSQLType = 12;
inline constexpr int prRowsProcessed = 13;
inline constexpr int prCommandInternal = 24;
inline constexpr int prNonBlocking = 50;
inline constexpr int prErrorOffset = 57;
inline constexpr int prFieldsAsString = 59;  // describe every column as a string field
inline constexpr int prCacheLobs = 64;
inline constexpr int prScrollableCursor = 67;
inline constexpr int prFetchRowId = 68;
inline constexpr int prRawAsString = 73;     // RAW columns as text
inline constexpr int prNumberAsString = 74;  // NUMBER columns as text

enum class TParamDirection : uint8_t { pdUnknown, pdInput, pdOutput, pdInputOutput, pdResult };

// A parameter value: null, an integer, a floating-point number or a text.
using TParamValue = std::variant<std::monostate, int32_t, double, std::string>;

class TParamDesc {
 public:
  virtual ~TParamDesc() = default;

  std::string Name;
  // Data-type code of the record store (1 string, 4 integer, 5 float, ...); 0 while unknown.
  uint16_t DataType = 0;
  TParamDirection ParamType = TParamDirection::pdUnknown;
  // Largest size in bytes of a text value, output parameters included.
  int32_t Size = 0;
  TParamValue Value;

  bool IsNull() const { return std::holds_alternative<std::monostate>(Value); }
};

using TParamDescs = std::vector<std::unique_ptr<TParamDesc>>;

class TCRCommand {
 public:
  // Called when an execution ends, with whether it succeeded.
  using TAfterExecuteProc = std::function<void(bool success)>;

  TCRCommand() = default;
  virtual ~TCRCommand() = default;
  TCRCommand(const TCRCommand&) = delete;
  TCRCommand& operator=(const TCRCommand&) = delete;

  virtual void Prepare() = 0;
  virtual void Unprepare() = 0;
  virtual bool GetPrepared() const = 0;
  virtual void Execute(int iterations = 1) = 0;
  virtual void SetConnection(TCRConnection* connection);
  virtual void SetSQL(const std::string& sql);
  virtual TCursorState GetCursorState() const = 0;
  virtual void SetCursorState(TCursorState state) = 0;
  // Adds an empty parameter description of the command's own kind and returns it.
  virtual TParamDesc* AddParam();
  virtual bool SetProp(int prop, const TPropValue& value);
  virtual bool GetProp(int prop, TPropValue& value);

  TCRConnection* GetConnection() const { return FConnection; }
  const std::string& GetSQL() const { return FSQL; }
  const TParamDescs& Params() const { return FParams; }
  TParamDesc* GetParam(size_t index) const { return FParams.at(index).get(); }
  // The parameter of that name (ignoring ASCII case), or null.
  TParamDesc* FindParam(const std::string& name) const;
  void ClearParams() { FParams.clear(); }
  bool GetAutoCommit() const { return FAutoCommit; }
  bool Executing() const { return FExecuting; }

  TAfterExecuteProc AfterExecuteHook;

 protected:
  virtual std::unique_ptr<TParamDesc> CreateParamDesc() const;

  TCRConnection* FConnection = nullptr;
  std::string FSQL;
  TParamDescs FParams;
  bool FAutoCommit = true;
  bool FExecuting = false;
  bool FInternalFlag = false;  // property 24
};

}  // namespace tarnwick
