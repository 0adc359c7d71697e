#pragma once
// The database-neutral record set: a record store bound to one SQL command. It owns the command,
// passes the dataset's options on to it, runs it and asks for rows through the store's Fetch.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "oracle/CRCommand.h"
#include "recordset/MemData.h"

namespace tarnwick {

enum TCommandType : uint8_t { ctUnknown = 0, ctStatement = 1, ctCursor = 2 };

// Record set property codes.
inline constexpr int prUniDirectional = 20;
inline constexpr int prFetchRows = 21;
inline constexpr int prFetchAll = 22;
inline constexpr int prLongStrings = 25;
inline constexpr int prKeepEmptyStrings = 26;
inline constexpr int prFlatBuffers = 27;
inline constexpr int prAutoClose = 55;
inline constexpr int prDeferredLobRead = 61;

class TCRRecordSet : public TMemData {
 public:
  // Called with whether the open (or the fetch of all rows) succeeded.
  using TBoolProc = std::function<void(bool result)>;
  // Called before (before = true) and after each block fetch; a callee may cancel the fetch.
  using TFetchProc = std::function<void(bool before, bool& cancel)>;

  TCRRecordSet();
  ~TCRRecordSet() override;

  void Open() override;
  void Close() override;
  void Prepare() override;
  void UnPrepare() override;
  void GetNextRecord(void* recBuf) override;
  void GetPriorRecord(void* recBuf) override;

  virtual void SetCommand(std::unique_ptr<TCRCommand> command);
  virtual bool CanFetchBack() const { return false; }
  virtual void ExecFetch() = 0;
  virtual void ExecCommand() = 0;
  virtual void FetchAll();
  virtual bool RowsReturn() const { return FCommandType == ctCursor; }
  virtual void SetConnection(TCRConnection* connection);
  virtual void SetSQL(const std::string& sql);
  // Unknown property codes are an internal error naming the code.
  virtual bool SetProp(int prop, const TPropValue& value);
  virtual bool GetProp(int prop, TPropValue& value);

  TCRCommand* GetCommand() const { return FCommand.get(); }
  TCommandType CommandType() const { return FCommandType; }
  bool UniDirectional() const { return FUniDirectional; }
  int32_t FetchRows() const { return FFetchRows; }
  bool FetchAllFlag() const { return FFetchAll; }
  bool LongStrings() const { return FLongStrings; }
  bool FlatBuffers() const { return FFlatBuffers; }

  TBoolProc AfterExecFetch;
  TBoolProc AfterFetchAll;
  TFetchProc OnFetch;

 protected:
  virtual std::unique_ptr<TCRCommand> CreateCommand() = 0;
  void InternalPrepare() override;
  void InternalUnPrepare() override;
  void InternalOpen() override;

  std::unique_ptr<TCRCommand> FCommand;
  bool FUniDirectional = false;
  int32_t FFetchRows = 25;
  bool FFetchAll = false;
  bool FLongStrings = true;
  bool FFlatBuffers = true;
  TCommandType FCommandType = ctUnknown;
};

}  // namespace tarnwick
