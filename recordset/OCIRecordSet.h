#pragma once
// The record set over the Oracle Call Interface: describes the select list of an executed query
// into field descriptors (the type mapping) and fetches its rows block by block, with the client
// library's array defines pointing straight into the records of each new block.
//
// Only the forward array fetch is built. Scrollable cursors, piecewise and non-blocking fetching,
// large objects, objects, timestamps, intervals and LONG columns are refused with "Data type is
// not supported." or a plain error naming the facility. Oracle numbers (dcNumber, the session
// option EnableNumbers) are fetched as SQLT_VNU: GetFieldData gives their 22 bytes, a length byte
// and the NUMBER.
#include <cstdint>
#include <memory>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "recordset/CRRecordSet.h"

namespace tarnwick {

class TOCIRecordSet : public TCRRecordSet {
 public:
  TOCIRecordSet();
  ~TOCIRecordSet() override;

  void Reopen() override;
  bool GetEOF() const override;
  void GetFieldData(const TFieldDesc& desc, const void* recBuf, void* dest) const override;
  bool GetNull(int fieldNo, const void* recBuf) const override;
  void SetNull(int fieldNo, void* recBuf, bool isNull) override;
  void GetDateFromBuf(const void* recBuf, uint32_t offset, TDateFormat format,
                      void* dest) const override;
  void PutDateToBuf(void* recBuf, uint32_t offset, TDateFormat format,
                    const void* source) const override;
  bool IsBlobFieldType(uint16_t dataType) const override;
  bool IsComplexFieldType(uint16_t dataType) const override;
  void CreateComplexFields(void* recBuf, bool withBlob) override;
  void FreeComplexFields(void* recBuf, bool withBlob) override;
  void AddRefComplexFields(void* recBuf) override;
  void SetToEnd() override;
  bool Fetch(bool fetchBack) override;

  void SetCommand(std::unique_ptr<TCRCommand> command) override;
  bool CanFetchBack() const override;
  void ExecFetch() override;
  void ExecCommand() override;
  void FetchAll() override;
  void SetConnection(TCRConnection* connection) override;
  bool SetProp(int prop, const TPropValue& value) override;

  TOCICommand& GetOCICommand() const { return *FOCICommand; }
  TOCIConnection* GetOCIConnection() const { return FConnection; }
  // The cursor rows are fetched from; the record set holds it without owning a reference.
  TOraCursor* FetchCursor() const { return FFetchCursor; }
  int32_t FetchedRows() const { return FFetchedRows; }
  bool FetchEnd() const { return FFetchEnd; }
  bool AutoClose() const { return FAutoClose; }
  // Bytes of one row of the side fetch buffer (0 while there is none).
  int32_t FetchBlockRowSize() const { return FFetchBlockRowSize; }
  bool HasFetchBlock() const { return !FFetchBlock.empty(); }

  // The 7-byte Oracle DATE as a date-time; raises EConvertError for a date that does not exist.
  static double OraDateToDateTime(const uint8_t* buf);
  static double OraDateToMSecs(const uint8_t* buf);
  static void DateTimeToOraDate(double value, uint8_t* buf);

 protected:
  std::unique_ptr<TCRCommand> CreateCommand() override;
  void InternalPrepare() override;
  void InternalUnPrepare() override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFields() override;
  int32_t GetIndicatorSize() const override { return 2 * FFields.Count(); }
  bool NeedConvertEOL() const override;

 private:
  void SetCommandType();
  void InitFetchCursor();
  void DoExecFetch();
  bool FetchArray(bool fetchBack);
  void AllocFetchBlock();
  void FreeFetchBlock();
  // Offset of a complex field's slot within one row of the side buffer, -1 for others.
  int32_t SideOffset(const TFieldDesc& desc) const;
  int32_t SideSlotSize(const TFieldDesc& desc) const;
  void DefineBlock(uint8_t* firstRecord, int32_t itemSize);
  // The value buffer size a field is defined with (a text's NUL included).
  int32_t DefineValueSize(const TFieldDesc& desc) const;
  // The column return codes of a field's define, FetchRows of them.
  ub2* ReturnCodes(const TFieldDesc& desc);
  // Raises ORA-01406, naming the column and the row, when the client reports a value of the
  // `fetched` rows of the block cut short (return code 1406, or an indicator that gives the
  // length the value had). `rowsBefore` rows were fetched before this block.
  void CheckTruncation(PBlockHeader block, int32_t fetched, int32_t rowsBefore);
  void FreeBlockValues(PBlockHeader block, int from, int count);

  TOCICommand* FOCICommand = nullptr;
  TOCIConnection* FConnection = nullptr;
  TOraCursor* FFetchCursor = nullptr;
  bool FAutoClose = false;
  bool FDeferredLobRead = false;
  std::vector<uint8_t> FFetchBlock;
  int32_t FFetchBlockRowSize = 0;
  std::vector<int32_t> FSideOffsets;  // per field, -1 when the field is fetched into the record
  // The fields fetched through the side buffer: slot offset in a side row, offset in the record,
  // code, and whether trailing blanks go.
  struct SideField {
    int32_t side;
    uint32_t offset;
    uint16_t dataType;
    bool trim;
  };
  std::vector<SideField> FSideFields;
  std::vector<ub2> FReturnCodes;
  bool FPieceFetch = false;
  int32_t FFetchedRows = 0;
  bool FFetchEnd = false;
};

}  // namespace tarnwick
