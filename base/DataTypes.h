#pragma once
// The data-type codes of the record store: a 16-bit code per field of a record store.
#include <cstdint>

namespace tarnwick {

inline constexpr uint16_t dcUnknown = 0;
inline constexpr uint16_t dcString = 1;
inline constexpr uint16_t dcSmallint = 3;
inline constexpr uint16_t dcInteger = 4;
inline constexpr uint16_t dcFloat = 5;
inline constexpr uint16_t dcDate = 6;
inline constexpr uint16_t dcTime = 7;
inline constexpr uint16_t dcDateTime = 8;
inline constexpr uint16_t dcBoolean = 10;
inline constexpr uint16_t dcBlob = 13;
inline constexpr uint16_t dcMemo = 14;
inline constexpr uint16_t dcObject = 15;
inline constexpr uint16_t dcReference = 16;
inline constexpr uint16_t dcArray = 17;
inline constexpr uint16_t dcTable = 18;
inline constexpr uint16_t dcVariant = 19;
inline constexpr uint16_t dcExtString = 20;
inline constexpr uint16_t dcBytes = 21;
inline constexpr uint16_t dcVarBytes = 22;
inline constexpr uint16_t dcExtVarBytes = 23;
inline constexpr uint16_t dcLargeint = 24;
inline constexpr uint16_t dcWideString = 25;
inline constexpr uint16_t dcExtWideString = 26;
inline constexpr uint16_t dcRowId = 100;
inline constexpr uint16_t dcCursor = 101;
inline constexpr uint16_t dcOraBlob = 102;
inline constexpr uint16_t dcOraClob = 103;
inline constexpr uint16_t dcBFile = 104;
inline constexpr uint16_t dcCFile = 105;
inline constexpr uint16_t dcLabel = 106;
inline constexpr uint16_t dcFixedChar = 107;
inline constexpr uint16_t dcUndefined = 108;
inline constexpr uint16_t dcTimeStamp = 109;
inline constexpr uint16_t dcTimeStampTZ = 110;
inline constexpr uint16_t dcTimeStampLTZ = 111;
inline constexpr uint16_t dcIntervalYM = 112;
inline constexpr uint16_t dcIntervalDS = 113;
inline constexpr uint16_t dcURowId = 114;
inline constexpr uint16_t dcNumber = 115;
inline constexpr uint16_t dcXML = 116;
inline constexpr uint16_t dcFixedWideChar = 117;

}  // namespace tarnwick
