#include "oracle/OraError.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarnwick {

namespace {

struct ResString {
  int id;
  const char* text;
};

// The program's string table. Kept sorted by identifier so that lookups can bisect.
constexpr std::array kStringTable = std::to_array<ResString>({
    // Daconsts
    {Daconsts::SAttributeNotFount, "Attribute %s not found."},
    {Daconsts::STransactionInProgress, "User transaction is already in progress."},
    {Daconsts::SIllegalFilter, "Illegal filter expression."},
    {Daconsts::SNeedBlobType, "Field is not a BLOB."},
    {Daconsts::SInvalidFetchRows, "FetchRows must be 1..10000."},
    {Daconsts::SInvalidSharedObject, "Invalid shared object."},
    {Daconsts::SInvalidBlob, "Invalid BLOB."},
    {Daconsts::SBlobMustBeCached, "BLOB must be cached."},
    {Daconsts::SCachedAlreadyEnabled, "Cached updates are already enabled."},
    {Daconsts::SDataSetIsNotPrepared, "DataSet is not prepared."},
    {Daconsts::SConnectionIsClosed, "Operation is not allowed when the connection is closed"},
    {Daconsts::SInvalidKeyField, "Invalid key field %s."},
    {Daconsts::SNotCachedUpdate, "Cached updates are not enabled."},
    {Daconsts::SMacroNotFound, "Macro %s not found."},
    {Daconsts::SUpdateFailed, "Update failed. %d records updated."},
    {Daconsts::SRefreshFailed, "Refresh failed. %d records found."},
    {Daconsts::SUnknownDataType, "Unknown data type."},
    {Daconsts::SDataTypeNotSupported, "Data type is not supported."},
    {Daconsts::SFieldNotFound, "Field %s not found."},
    {Daconsts::SNoCorrespondParam, "Parameter %s has no corresponding field."},
    {Daconsts::SCannotConvertType, "Cannot convert type."},
    {Daconsts::SUnknownParamDataType, "Unknown data type of parameter %s."},
    {Daconsts::SRecordChanged, "Record was changed by another user."},
    {Daconsts::STableNameNotDefined, "Table name is not defined."},
    {Daconsts::SStoredProcNotDefined, "Stored procedure name is not defined."},
    {Daconsts::SCannotPerformIfPooling, "Cannot perform this operation when pooling is on."},
    {Daconsts::SMaxConnectionsReached, "Maximum connections reached in pool."},
    {Daconsts::SCannotChangeIsUnicode, "Cannot change Unicode mode of an open connection."},
    {Daconsts::SColumnNotFound, "Column %s not found."},
    {Daconsts::SNoTimers, "No timers available."},
    {Daconsts::SConnectionNotDefined, "Connection is not defined."},
    {Daconsts::SCannotConnect, "Cannot connect to database."},
    // Oraconsts
    {Oraconsts::SInvalidBufferSize, "Invalid buffer size"},
    {Oraconsts::SParamIsNotStorable, "Parameter %s is not storable"},
    {Oraconsts::SCannotChangeBufferSize, "Cannot change buffer size"},
    {Oraconsts::SInvalidIndex, "Invalid index"},
    {Oraconsts::SInvalidTableType, "Invalid table type"},
    {Oraconsts::SInvalidDmlArrayType, "Invalid DML array type"},
    {Oraconsts::SArrayParam, "Parameter %s is an array"},
    {Oraconsts::STooManyInputParams, "Too many input parameters"},
    {Oraconsts::SNotEnoughInputParams, "Not enough input parameters"},
    {Oraconsts::STooNanyOutputParams, "Too many output parameters"},
    {Oraconsts::SNotEnoughOutputParams, "Not enough output parameters"},
    {Oraconsts::SPackageNotExist, "Package %s does not exist"},
    {Oraconsts::SObjectNotExist, "Object %s does not exist"},
    {Oraconsts::SParamNotFound, "Parameter %s not found"},
    {Oraconsts::SReopenNotAllowed, "Reopen is not allowed"},
    {Oraconsts::SLobNotAllocatted, "LOB locator is not allocated"},
    {Oraconsts::SNotRows, "SQL statement doesn't return rows"},
    {Oraconsts::SSvcCtxNotDefined, "Service context is not defined"},
    {Oraconsts::SNeedParamType, "Parameter type must be defined"},
    {Oraconsts::SNeedThreadSafety, "Session must be Thread Safety"},
    {Oraconsts::SLobNotInited, "LOB locator is not initialized"},
    {Oraconsts::SCannotDisableLobCache, "Cannot disable LOB cache"},
    {Oraconsts::SInvalidParamsArray, "Invalid parameters array"},
    {Oraconsts::SCannotChangeParams, "Cannot change parameters"},
    {Oraconsts::SNoCorrespondParam, "Parameter %s has no corresponding field"},
    {Oraconsts::SNeedBlobType, "Parameter must be of BLOB type"},
    {Oraconsts::SNeedLobType, "Parameter must be of LOB type"},
    {Oraconsts::SNeedFileType, "Parameter must be of BFILE type"},
    {Oraconsts::SNeedObjectType, "Parameter must be of object type"},
    {Oraconsts::SNeedTimeStampType, "Parameter must be of TIMESTAMP type"},
    {Oraconsts::SNeedIntervalType, "Parameter must be of INTERVAL type"},
    {Oraconsts::SNeedNumberType, "Parameter must be of NUMBER type"},
    {Oraconsts::SSessionNotDefined, "Session is not defined"},
    {Oraconsts::SSessionNotConnected, "Session is not connected"},
    {Oraconsts::SUnsupportedDataType, "Unsupported data type"},
    {Oraconsts::SMissingDataSetField, "Field %s is missing in the dataset"},
    {Oraconsts::SColumnNotFound, "Column %s not found"},
    {Oraconsts::SUpdatingTableNotDef, "Updating table is not defined"},
    {Oraconsts::SKeyFieldNotFound, "Key field %s not found"},
    {Oraconsts::SCannotWriteExpandedField, "Cannot write to an expanded field"},
    {Oraconsts::SCannotReadKeyFields, "Cannot read key fields"},
    {Oraconsts::SCursorNotOpened, "Cursor must be opened"},
    {Oraconsts::SCursorOpened, "Cursor has been opened"},
    {Oraconsts::SInvalidTimeStamp, "Invalid timestamp"},
    {Oraconsts::SInvalidInterval, "Invalid interval"},
    {Oraconsts::SCannotConvertStrToBool, "Cannot convert string to boolean"},
    {Oraconsts::SNoTimers, "No timers available"},
    {Oraconsts::SBlobNotExpanded, "BLOB is not expanded"},
});

constexpr bool TableIsSortedAndComplete() {
  for (std::size_t i = 0; i < kStringTable.size(); ++i)
    if (kStringTable[i].id != 65456 + static_cast<int>(i)) return false;
  return true;
}
static_assert(kStringTable.size() == 80 && TableIsSortedAndComplete(),
              "the string table holds identifiers 65456..65535 in order");

}  // namespace

void RaiseError(const std::string& message) {
  throw Exception(message);
}

void RaiseOraError(int32_t code, const std::string& message) {
  throw EOraError(code, message);
}

std::string LoadResString(int id) {
  auto it = std::lower_bound(kStringTable.begin(), kStringTable.end(), id,
                             [](const ResString& r, int v) { return r.id < v; });
  if (it == kStringTable.end() || it->id != id)
    throw Exception("Resource string " + std::to_string(id) + " not found");
  return it->text;
}

std::string FmtLoadStr(int id, std::initializer_list<std::string_view> args) {
  const std::string format = LoadResString(id);
  std::string out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() &&
        (format[i + 1] == 's' || format[i + 1] == 'd')) {
      if (arg != args.end()) out += *arg++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

}  // namespace tarnwick
