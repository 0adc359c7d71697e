#pragma once
// Errors and messages of the Oracle data-access layers: raising helpers and the two tables of
// resource strings (Oraconsts and Daconsts), whose texts are looked up by identifier at the moment
// an error is raised.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/Exception.h"

namespace tarnwick {

[[noreturn]] void RaiseError(const std::string& message);
[[noreturn]] void RaiseOraError(int32_t code, const std::string& message);

// The text kept under a resource identifier; an identifier outside both tables is an internal
// fault and raises Exception naming it.
std::string LoadResString(int id);
// The text under `id` with each "%s" or "%d" replaced by the next argument, in order.
std::string FmtLoadStr(int id, std::initializer_list<std::string_view> args);

// Identifiers 65488..65535.
namespace Oraconsts {
inline constexpr int SInvalidBufferSize = 65488;
inline constexpr int SParamIsNotStorable = 65489;
inline constexpr int SCannotChangeBufferSize = 65490;
inline constexpr int SInvalidIndex = 65491;
inline constexpr int SInvalidTableType = 65492;
inline constexpr int SInvalidDmlArrayType = 65493;
inline constexpr int SArrayParam = 65494;
inline constexpr int STooManyInputParams = 65495;
inline constexpr int SNotEnoughInputParams = 65496;
inline constexpr int STooNanyOutputParams = 65497;
inline constexpr int SNotEnoughOutputParams = 65498;
inline constexpr int SPackageNotExist = 65499;
inline constexpr int SObjectNotExist = 65500;
inline constexpr int SParamNotFound = 65501;
inline constexpr int SReopenNotAllowed = 65502;
inline constexpr int SLobNotAllocatted = 65503;
inline constexpr int SNotRows = 65504;
inline constexpr int SSvcCtxNotDefined = 65505;
inline constexpr int SNeedParamType = 65506;
inline constexpr int SNeedThreadSafety = 65507;
inline constexpr int SLobNotInited = 65508;
inline constexpr int SCannotDisableLobCache = 65509;
inline constexpr int SInvalidParamsArray = 65510;
inline constexpr int SCannotChangeParams = 65511;
inline constexpr int SNoCorrespondParam = 65512;
inline constexpr int SNeedBlobType = 65513;
inline constexpr int SNeedLobType = 65514;
inline constexpr int SNeedFileType = 65515;
inline constexpr int SNeedObjectType = 65516;
inline constexpr int SNeedTimeStampType = 65517;
inline constexpr int SNeedIntervalType = 65518;
inline constexpr int SNeedNumberType = 65519;
inline constexpr int SSessionNotDefined = 65520;
inline constexpr int SSessionNotConnected = 65521;
inline constexpr int SUnsupportedDataType = 65522;
inline constexpr int SMissingDataSetField = 65523;
inline constexpr int SColumnNotFound = 65524;
inline constexpr int SUpdatingTableNotDef = 65525;
inline constexpr int SKeyFieldNotFound = 65526;
inline constexpr int SCannotWriteExpandedField = 65527;
inline constexpr int SCannotReadKeyFields = 65528;
inline constexpr int SCursorNotOpened = 65529;
inline constexpr int SCursorOpened = 65530;
inline constexpr int SInvalidTimeStamp = 65531;
inline constexpr int SInvalidInterval = 65532;
inline constexpr int SCannotConvertStrToBool = 65533;
inline constexpr int SNoTimers = 65534;
inline constexpr int SBlobNotExpanded = 65535;
}  // namespace Oraconsts

// Identifiers 65456..65487.
namespace Daconsts {
inline constexpr int SAttributeNotFount = 65456;
inline constexpr int STransactionInProgress = 65457;
inline constexpr int SIllegalFilter = 65458;
inline constexpr int SNeedBlobType = 65459;
inline constexpr int SInvalidFetchRows = 65460;
inline constexpr int SInvalidSharedObject = 65461;
inline constexpr int SInvalidBlob = 65462;
inline constexpr int SBlobMustBeCached = 65463;
inline constexpr int SCachedAlreadyEnabled = 65464;
inline constexpr int SDataSetIsNotPrepared = 65465;
inline constexpr int SConnectionIsClosed = 65466;
inline constexpr int SInvalidKeyField = 65467;
inline constexpr int SNotCachedUpdate = 65468;
inline constexpr int SMacroNotFound = 65469;
inline constexpr int SUpdateFailed = 65470;
inline constexpr int SRefreshFailed = 65471;
inline constexpr int SUnknownDataType = 65472;
inline constexpr int SDataTypeNotSupported = 65473;
inline constexpr int SFieldNotFound = 65474;
inline constexpr int SNoCorrespondParam = 65475;
inline constexpr int SCannotConvertType = 65476;
inline constexpr int SUnknownParamDataType = 65477;
inline constexpr int SRecordChanged = 65478;
inline constexpr int STableNameNotDefined = 65479;
inline constexpr int SStoredProcNotDefined = 65480;
inline constexpr int SCannotPerformIfPooling = 65481;
inline constexpr int SMaxConnectionsReached = 65482;
inline constexpr int SCannotChangeIsUnicode = 65483;
inline constexpr int SColumnNotFound = 65484;
inline constexpr int SNoTimers = 65485;
inline constexpr int SConnectionNotDefined = 65486;
inline constexpr int SCannotConnect = 65487;
}  // namespace Daconsts

}  // namespace tarnwick
