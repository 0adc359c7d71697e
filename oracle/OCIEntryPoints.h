#pragma once
// The one list of the client library's entry points. Each row names the group that resolves it
// (the order of rows is the order in which LoadOCI resolves them), the exported name, the return
// type and the parameter list of the published prototype. Oracall.h and Oracall.cpp generate from
// it the pointer types, the table, the names and the resolver, so a row is the only place where an
// entry point is written.
//
// Groups: OCI73 = when the version-7 calls are possible; OCI80 = when the handle calls are
// possible; OBJ = OCI80 and ObjectVersion; V81 = client 8.1 or later; V90 = client 9.0 or later;
// V90C = client 9.0 or later, resolved from the second library file (OCIClientDLL).
//
// Prototypes that the published headers do not declare as functions (OCIDateGetDate,
// OCIDateGetTime, OCIDateSetDate and OCIDateSetTime are macros there; the OCIPStream calls have no
// published declaration) are given the signature that their use implies.
#include "oracle/oci.h"

#define TARNWICK_OCI_ENTRY_POINTS(X)                                                               \
  /* 1. version-7 calls (37) */                                                                    \
  X(OCI73, obindps, sword,                                                                         \
    (Cda_Def*, ub1, OraText*, sb4, ub1*, sb4, sword, sword, sb2*, ub2*, ub2*, sb4, sb4, sb4, sb4,  \
     ub4, ub4*, OraText*, sb4, sword))                                                             \
  X(OCI73, obndra, sword,                                                                          \
    (Cda_Def*, OraText*, sword, ub1*, sword, sword, sword, sb2*, ub2*, ub2*, ub4, ub4*, OraText*,  \
     sword, sword))                                                                                \
  X(OCI73, obndrn, sword,                                                                          \
    (Cda_Def*, sword, ub1*, sword, sword, sword, sb2*, OraText*, sword, sword))                    \
  X(OCI73, obndrv, sword,                                                                          \
    (Cda_Def*, OraText*, sword, ub1*, sword, sword, sword, sb2*, OraText*, sword, sword))          \
  X(OCI73, obreak, sword, (Lda_Def*))                                                              \
  X(OCI73, ocan, sword, (Cda_Def*))                                                                \
  X(OCI73, oclose, sword, (Cda_Def*))                                                              \
  X(OCI73, ocof, sword, (Lda_Def*))                                                                \
  X(OCI73, ocom, sword, (Lda_Def*))                                                                \
  X(OCI73, ocon, sword, (Lda_Def*))                                                                \
  X(OCI73, odefin, sword,                                                                          \
    (Cda_Def*, sword, ub1*, sword, sword, sword, sb2*, OraText*, sword, sword, ub2*, ub2*))        \
  X(OCI73, odefinps, sword,                                                                        \
    (Cda_Def*, ub1, sword, ub1*, sb4, sword, sword, sb2*, OraText*, sb4, sword, ub2*, ub2*, sb4,   \
     sb4, sb4, sb4))                                                                               \
  X(OCI73, odescr, sword, (Cda_Def*, sword, sb4*, sb2*, sb1*, sb4*, sb4*, sb2*, sb2*, sb2*))       \
  X(OCI73, odessp, sword,                                                                          \
    (Cda_Def*, OraText*, size_t, ub1*, size_t, ub1*, size_t, ub2*, ub2*, ub2*, OraText**, ub2*,    \
     ub2*, ub1*, ub1*, ub4*, sb2*, sb2*, ub1*, ub4*, ub4*))                                        \
  X(OCI73, oerhms, sword, (Lda_Def*, sb2, OraText*, sword))                                        \
  X(OCI73, oermsg, sword, (sb2, OraText*))                                                         \
  X(OCI73, oexec, sword, (Cda_Def*))                                                               \
  X(OCI73, oexfet, sword, (Cda_Def*, ub4, sword, sword))                                           \
  X(OCI73, oexn, sword, (Cda_Def*, sword, sword))                                                  \
  X(OCI73, ofen, sword, (Cda_Def*, sword))                                                         \
  X(OCI73, ofetch, sword, (Cda_Def*))                                                              \
  X(OCI73, oflng, sword, (Cda_Def*, sword, ub1*, sb4, sword, ub4*, sb4))                           \
  X(OCI73, ognfd, sword, (Lda_Def*, void*))                                                        \
  X(OCI73, olog, sword, (Lda_Def*, ub1*, OraText*, sword, OraText*, sword, OraText*, sword, ub4))  \
  X(OCI73, ologof, sword, (Lda_Def*))                                                              \
  X(OCI73, onbclr, sword, (Lda_Def*))                                                              \
  X(OCI73, onbset, sword, (Lda_Def*))                                                              \
  X(OCI73, onbtst, sword, (Lda_Def*))                                                              \
  X(OCI73, oopen, sword, (Cda_Def*, Lda_Def*, OraText*, sword, sword, OraText*, sword))            \
  X(OCI73, oopt, sword, (Cda_Def*, sword, sword))                                                  \
  X(OCI73, oparse, sword, (Cda_Def*, OraText*, sb4, sword, ub4))                                   \
  X(OCI73, opinit, sword, (ub4))                                                                   \
  X(OCI73, orol, sword, (Lda_Def*))                                                                \
  X(OCI73, ogetpi, sword, (Cda_Def*, ub1*, void**, ub4*, ub4*))                                    \
  X(OCI73, osetpi, sword, (Cda_Def*, ub1, void*, ub4*))                                            \
  X(OCI73, sqllda, void, (Lda_Def*))                                                               \
  X(OCI73, sqlld2, void, (Lda_Def*, OraText*, sb4*))                                               \
  /* 2. handle calls (60) */                                                                       \
  X(OCI80, OCIAttrGet, sword, (const void*, ub4, void*, ub4*, ub4, OCIError*))                     \
  X(OCI80, OCIAttrSet, sword, (void*, ub4, void*, ub4, ub4, OCIError*))                            \
  X(OCI80, OCIBindArrayOfStruct, sword, (OCIBind*, OCIError*, ub4, ub4, ub4, ub4))                 \
  X(OCI80, OCIBindByName, sword,                                                                   \
    (OCIStmt*, OCIBind**, OCIError*, const OraText*, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, \
     ub4*, ub4))                                                                                   \
  X(OCI80, OCIBindByPos, sword,                                                                    \
    (OCIStmt*, OCIBind**, OCIError*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4))     \
  X(OCI80, OCIBindDynamic, sword,                                                                  \
    (OCIBind*, OCIError*, void*, OCICallbackInBind, void*, OCICallbackOutBind))                    \
  X(OCI80, OCIBindObject, sword,                                                                   \
    (OCIBind*, OCIError*, const OCIType*, void**, ub4*, void**, ub4*))                             \
  X(OCI80, OCIBreak, sword, (void*, OCIError*))                                                    \
  X(OCI80, OCIDefineArrayOfStruct, sword, (OCIDefine*, OCIError*, ub4, ub4, ub4, ub4))             \
  X(OCI80, OCIDefineByPos, sword,                                                                  \
    (OCIStmt*, OCIDefine**, OCIError*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4))              \
  X(OCI80, OCIDefineDynamic, sword, (OCIDefine*, OCIError*, void*, OCICallbackDefine))             \
  X(OCI80, OCIDefineObject, sword,                                                                 \
    (OCIDefine*, OCIError*, const OCIType*, void**, ub4*, void**, ub4*))                           \
  X(OCI80, OCIDescribeAny, sword,                                                                  \
    (OCISvcCtx*, OCIError*, void*, ub4, ub1, ub1, ub1, OCIDescribe*))                              \
  X(OCI80, OCIDescriptorAlloc, sword, (const void*, void**, const ub4, const size_t, void**))      \
  X(OCI80, OCIDescriptorFree, sword, (void*, const ub4))                                           \
  X(OCI80, OCIEnvInit, sword, (OCIEnv**, ub4, size_t, void**))                                     \
  X(OCI80, OCIErrorGet, sword, (void*, ub4, OraText*, sb4*, OraText*, ub4, ub4))                   \
  X(OCI80, OCIHandleAlloc, sword, (const void*, void**, const ub4, const size_t, void**))          \
  X(OCI80, OCIHandleFree, sword, (void*, const ub4))                                               \
  X(OCI80, OCIInitialize, sword,                                                                   \
    (ub4, void*, void* (*)(void*, size_t), void* (*)(void*, void*, size_t),                        \
     void (*)(void*, void*)))                                                                      \
  X(OCI80, OCILdaToSvcCtx, sword, (OCISvcCtx**, OCIError*, Lda_Def*))                              \
  X(OCI80, OCIParamGet, sword, (const void*, ub4, OCIError*, void**, ub4))                         \
  X(OCI80, OCIPasswordChange, sword,                                                               \
    (OCISvcCtx*, OCIError*, const OraText*, ub4, const OraText*, ub4, const OraText*, ub4, ub4))   \
  X(OCI80, OCIServerAttach, sword, (OCIServer*, OCIError*, const OraText*, sb4, ub4))              \
  X(OCI80, OCIServerDetach, sword, (OCIServer*, OCIError*, ub4))                                   \
  X(OCI80, OCIServerVersion, sword, (void*, OCIError*, OraText*, ub4, ub1))                        \
  X(OCI80, OCISessionBegin, sword, (OCISvcCtx*, OCIError*, OCISession*, ub4, ub4))                 \
  X(OCI80, OCISessionEnd, sword, (OCISvcCtx*, OCIError*, OCISession*, ub4))                        \
  X(OCI80, OCIStmtExecute, sword,                                                                  \
    (OCISvcCtx*, OCIStmt*, OCIError*, ub4, ub4, const OCISnapshot*, OCISnapshot*, ub4))            \
  X(OCI80, OCIStmtFetch, sword, (OCIStmt*, OCIError*, ub4, ub2, ub4))                              \
  X(OCI80, OCIStmtFetch2, sword, (OCIStmt*, OCIError*, ub4, ub2, sb4, ub4))                        \
  X(OCI80, OCIStmtGetPieceInfo, sword,                                                             \
    (OCIStmt*, OCIError*, void**, ub4*, ub1*, ub4*, ub4*, ub1*))                                   \
  X(OCI80, OCIStmtPrepare, sword, (OCIStmt*, OCIError*, const OraText*, ub4, ub4, ub4))            \
  X(OCI80, OCIStmtSetPieceInfo, sword,                                                             \
    (void*, ub4, OCIError*, const void*, ub4*, ub1, const void*, ub2*))                            \
  X(OCI80, OCISvcCtxToLda, sword, (OCISvcCtx*, OCIError*, Lda_Def*))                               \
  X(OCI80, OCITransCommit, sword, (OCISvcCtx*, OCIError*, ub4))                                    \
  X(OCI80, OCITransRollback, sword, (OCISvcCtx*, OCIError*, ub4))                                  \
  X(OCI80, OCILobAppend, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, OCILobLocator*))           \
  X(OCI80, OCILobAssign, sword, (OCIEnv*, OCIError*, const OCILobLocator*, OCILobLocator**))       \
  X(OCI80, OCILobCharSetForm, sword, (OCIEnv*, OCIError*, const OCILobLocator*, ub1*))             \
  X(OCI80, OCILobCharSetId, sword, (OCIEnv*, OCIError*, const OCILobLocator*, ub2*))               \
  X(OCI80, OCILobCopy, sword,                                                                      \
    (OCISvcCtx*, OCIError*, OCILobLocator*, OCILobLocator*, ub4, ub4, ub4))                        \
  X(OCI80, OCILobCreateTemporary, sword,                                                           \
    (OCISvcCtx*, OCIError*, OCILobLocator*, ub2, ub1, ub1, boolean, OCIDuration))                  \
  X(OCI80, OCILobDisableBuffering, sword, (OCISvcCtx*, OCIError*, OCILobLocator*))                 \
  X(OCI80, OCILobEnableBuffering, sword, (OCISvcCtx*, OCIError*, OCILobLocator*))                  \
  X(OCI80, OCILobErase, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, ub4*, ub4))                 \
  X(OCI80, OCILobFileClose, sword, (OCISvcCtx*, OCIError*, OCILobLocator*))                        \
  X(OCI80, OCILobFileExists, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, boolean*))             \
  X(OCI80, OCILobFileGetName, sword,                                                               \
    (OCIEnv*, OCIError*, const OCILobLocator*, OraText*, ub2*, OraText*, ub2*))                    \
  X(OCI80, OCILobFileIsOpen, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, boolean*))             \
  X(OCI80, OCILobFileOpen, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, ub1))                    \
  X(OCI80, OCILobFileSetName, sword,                                                               \
    (OCIEnv*, OCIError*, OCILobLocator**, const OraText*, ub2, const OraText*, ub2))               \
  X(OCI80, OCILobFlushBuffer, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, ub4))                 \
  X(OCI80, OCILobGetLength, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, ub4*))                  \
  X(OCI80, OCILobIsEqual, sword, (OCIEnv*, const OCILobLocator*, const OCILobLocator*, boolean*))  \
  X(OCI80, OCILobLoadFromFile, sword,                                                              \
    (OCISvcCtx*, OCIError*, OCILobLocator*, OCILobLocator*, ub4, ub4, ub4))                        \
  X(OCI80, OCILobLocatorIsInit, sword, (OCIEnv*, OCIError*, const OCILobLocator*, boolean*))       \
  X(OCI80, OCILobRead, sword,                                                                      \
    (OCISvcCtx*, OCIError*, OCILobLocator*, ub4*, ub4, void*, ub4, void*, OCICallbackLobRead, ub2, \
     ub1))                                                                                         \
  X(OCI80, OCILobTrim, sword, (OCISvcCtx*, OCIError*, OCILobLocator*, ub4))                        \
  X(OCI80, OCILobWrite, sword,                                                                     \
    (OCISvcCtx*, OCIError*, OCILobLocator*, ub4*, ub4, void*, ub4, ub1, void*,                     \
     OCICallbackLobWrite, ub2, ub1))                                                               \
  /* 3. object, collection, date, number, reference, string and table calls (71) */                \
  X(OBJ, OCICacheFlush, sword,                                                                     \
    (OCIEnv*, OCIError*, const OCISvcCtx*, void*, OCIRef* (*)(void*, ub1*), OCIRef**))             \
  X(OBJ, OCICacheFree, sword, (OCIEnv*, OCIError*, const OCISvcCtx*))                              \
  X(OBJ, OCICacheRefresh, sword,                                                                   \
    (OCIEnv*, OCIError*, const OCISvcCtx*, OCIRefreshOpt, void*, OCIRef* (*)(void*), OCIRef**))    \
  X(OBJ, OCICacheUnmark, sword, (OCIEnv*, OCIError*, const OCISvcCtx*))                            \
  X(OBJ, OCICacheUnpin, sword, (OCIEnv*, OCIError*, const OCISvcCtx*))                             \
  X(OBJ, OCIObjectCopy, sword,                                                                     \
    (OCIEnv*, OCIError*, const OCISvcCtx*, void*, void*, void*, void*, OCIType*, OCIDuration,      \
     ub1))                                                                                         \
  X(OBJ, OCIObjectExists, sword, (OCIEnv*, OCIError*, void*, boolean*))                            \
  X(OBJ, OCIObjectFlush, sword, (OCIEnv*, OCIError*, void*))                                       \
  X(OBJ, OCIObjectFree, sword, (OCIEnv*, OCIError*, void*, ub2))                                   \
  X(OBJ, OCIObjectGetAttr, sword,                                                                  \
    (OCIEnv*, OCIError*, void*, void*, OCIType*, const OraText**, const ub4*, const ub4,           \
     const ub4*, const ub4, OCIInd*, void**, void**, OCIType**))                                   \
  X(OBJ, OCIObjectGetInd, sword, (OCIEnv*, OCIError*, void*, void**))                              \
  X(OBJ, OCIObjectGetObjectRef, sword, (OCIEnv*, OCIError*, void*, OCIRef*))                       \
  X(OBJ, OCIObjectGetProperty, sword,                                                              \
    (OCIEnv*, OCIError*, const void*, OCIObjectPropId, void*, ub4*))                               \
  X(OBJ, OCIObjectGetTypeRef, sword, (OCIEnv*, OCIError*, void*, OCIRef*))                         \
  X(OBJ, OCIObjectIsDirty, sword, (OCIEnv*, OCIError*, void*, boolean*))                           \
  X(OBJ, OCIObjectIsLocked, sword, (OCIEnv*, OCIError*, void*, boolean*))                          \
  X(OBJ, OCIObjectLock, sword, (OCIEnv*, OCIError*, void*))                                        \
  X(OBJ, OCIObjectMarkDelete, sword, (OCIEnv*, OCIError*, void*))                                  \
  X(OBJ, OCIObjectMarkDeleteByRef, sword, (OCIEnv*, OCIError*, OCIRef*))                           \
  X(OBJ, OCIObjectMarkUpdate, sword, (OCIEnv*, OCIError*, void*))                                  \
  X(OBJ, OCIObjectNew, sword,                                                                      \
    (OCIEnv*, OCIError*, const OCISvcCtx*, OCITypeCode, OCIType*, void*, OCIDuration, boolean,     \
     void**))                                                                                      \
  X(OBJ, OCIObjectPin, sword,                                                                      \
    (OCIEnv*, OCIError*, OCIRef*, OCIComplexObject*, OCIPinOpt, OCIDuration, OCILockOpt, void**))  \
  X(OBJ, OCIObjectPinCountReset, sword, (OCIEnv*, OCIError*, void*))                               \
  X(OBJ, OCIObjectPinTable, sword,                                                                 \
    (OCIEnv*, OCIError*, const OCISvcCtx*, const OraText*, ub4, const OraText*, ub4,               \
     const OCIRef*, OCIDuration, void**))                                                          \
  X(OBJ, OCIObjectRefresh, sword, (OCIEnv*, OCIError*, void*))                                     \
  X(OBJ, OCIObjectSetAttr, sword,                                                                  \
    (OCIEnv*, OCIError*, void*, void*, OCIType*, const OraText**, const ub4*, const ub4,           \
     const ub4*, const ub4, const OCIInd, const void*, const void*))                               \
  X(OBJ, OCIObjectUnmark, sword, (OCIEnv*, OCIError*, void*))                                      \
  X(OBJ, OCIObjectUnmarkByRef, sword, (OCIEnv*, OCIError*, OCIRef*))                               \
  X(OBJ, OCIObjectUnpin, sword, (OCIEnv*, OCIError*, void*))                                       \
  X(OBJ, OCITypeByName, sword,                                                                     \
    (OCIEnv*, OCIError*, const OCISvcCtx*, const OraText*, ub4, const OraText*, ub4,               \
     const OraText*, ub4, OCIDuration, OCITypeGetOpt, OCIType**))                                  \
  X(OBJ, OCITypeByRef, sword,                                                                      \
    (OCIEnv*, OCIError*, const OCIRef*, OCIDuration, OCITypeGetOpt, OCIType**))                    \
  X(OBJ, OCICollAppend, sword, (OCIEnv*, OCIError*, const void*, const void*, OCIColl*))           \
  X(OBJ, OCICollAssign, sword, (OCIEnv*, OCIError*, const OCIColl*, OCIColl*))                     \
  X(OBJ, OCICollAssignElem, sword, (OCIEnv*, OCIError*, sb4, const void*, const void*, OCIColl*))  \
  X(OBJ, OCICollGetElem, sword,                                                                    \
    (OCIEnv*, OCIError*, const OCIColl*, sb4, boolean*, void**, void**))                           \
  X(OBJ, OCICollMax, sb4, (OCIEnv*, const OCIColl*))                                               \
  X(OBJ, OCICollSize, sword, (OCIEnv*, OCIError*, const OCIColl*, sb4*))                           \
  X(OBJ, OCICollTrim, sword, (OCIEnv*, OCIError*, sb4, OCIColl*))                                  \
  X(OBJ, OCIDateAssign, sword, (OCIError*, const OCIDate*, OCIDate*))                              \
  X(OBJ, OCIDateFromText, sword,                                                                   \
    (OCIError*, const OraText*, ub4, const OraText*, ub1, const OraText*, ub4, OCIDate*))          \
  X(OBJ, OCIDateGetDate, void, (const OCIDate*, sb2*, ub1*, ub1*))                                 \
  X(OBJ, OCIDateGetTime, void, (const OCIDate*, ub1*, ub1*, ub1*))                                 \
  X(OBJ, OCIDateSetDate, void, (OCIDate*, sb2, ub1, ub1))                                          \
  X(OBJ, OCIDateSetTime, void, (OCIDate*, ub1, ub1, ub1))                                          \
  X(OBJ, OCIDateToText, sword,                                                                     \
    (OCIError*, const OCIDate*, const OraText*, ub1, const OraText*, ub4, ub4*, OraText*))         \
  X(OBJ, OCINumberAssign, sword, (OCIError*, const OCINumber*, OCINumber*))                        \
  X(OBJ, OCINumberCmp, sword, (OCIError*, const OCINumber*, const OCINumber*, sword*))             \
  X(OBJ, OCINumberFromInt, sword, (OCIError*, const void*, uword, uword, OCINumber*))              \
  X(OBJ, OCINumberFromReal, sword, (OCIError*, const void*, uword, OCINumber*))                    \
  X(OBJ, OCINumberFromText, sword,                                                                 \
    (OCIError*, const OraText*, ub4, const OraText*, ub4, const OraText*, ub4, OCINumber*))        \
  X(OBJ, OCINumberToInt, sword, (OCIError*, const OCINumber*, uword, uword, void*))                \
  X(OBJ, OCINumberToReal, sword, (OCIError*, const OCINumber*, uword, void*))                      \
  X(OBJ, OCINumberToText, sword,                                                                   \
    (OCIError*, const OCINumber*, const OraText*, ub4, const OraText*, ub4, ub4*, OraText*))       \
  X(OBJ, OCIRefAssign, sword, (OCIEnv*, OCIError*, const OCIRef*, OCIRef**))                       \
  X(OBJ, OCIRefClear, void, (OCIEnv*, OCIRef*))                                                    \
  X(OBJ, OCIRefIsEqual, boolean, (OCIEnv*, const OCIRef*, const OCIRef*))                          \
  X(OBJ, OCIRefIsNull, boolean, (OCIEnv*, const OCIRef*))                                          \
  X(OBJ, OCIRefToHex, sword, (OCIEnv*, OCIError*, const OCIRef*, OraText*, ub4*))                  \
  X(OBJ, OCIStringAllocSize, sword, (OCIEnv*, OCIError*, const OCIString*, ub4*))                  \
  X(OBJ, OCIStringAssign, sword, (OCIEnv*, OCIError*, const OCIString*, OCIString**))              \
  X(OBJ, OCIStringAssignText, sword, (OCIEnv*, OCIError*, const OraText*, ub4, OCIString**))       \
  X(OBJ, OCIStringPtr, OraText*, (OCIEnv*, const OCIString*))                                      \
  X(OBJ, OCIStringResize, sword, (OCIEnv*, OCIError*, ub4, OCIString**))                           \
  X(OBJ, OCIStringSize, ub4, (OCIEnv*, const OCIString*))                                          \
  X(OBJ, OCITableDelete, sword, (OCIEnv*, OCIError*, sb4, OCITable*))                              \
  X(OBJ, OCITableExists, sword, (OCIEnv*, OCIError*, const OCITable*, sb4, boolean*))              \
  X(OBJ, OCITableFirst, sword, (OCIEnv*, OCIError*, const OCITable*, sb4*))                        \
  X(OBJ, OCITableLast, sword, (OCIEnv*, OCIError*, const OCITable*, sb4*))                         \
  X(OBJ, OCITableNext, sword, (OCIEnv*, OCIError*, sb4, const OCITable*, sb4*, boolean*))          \
  X(OBJ, OCITablePrev, sword, (OCIEnv*, OCIError*, sb4, const OCITable*, sb4*, boolean*))          \
  X(OBJ, OCITableSize, sword, (OCIEnv*, OCIError*, const OCITable*, sb4*))                         \
  /* 4. client 8.1 and later (11) */                                                               \
  X(V81, OCIEnvCreate, sword,                                                                      \
    (OCIEnv**, ub4, void*, void* (*)(void*, size_t), void* (*)(void*, void*, size_t),              \
     void (*)(void*, void*), size_t, void**))                                                      \
  X(V81, OCIDirPathAbort, sword, (OCIDirPathCtx*, OCIError*))                                      \
  X(V81, OCIDirPathColArrayEntryGet, sword,                                                        \
    (OCIDirPathColArray*, OCIError*, ub4, ub2, ub1**, ub4*, ub1*))                                 \
  X(V81, OCIDirPathColArrayEntrySet, sword,                                                        \
    (OCIDirPathColArray*, OCIError*, ub4, ub2, ub1*, ub4, ub1))                                    \
  X(V81, OCIDirPathColArrayRowGet, sword,                                                          \
    (OCIDirPathColArray*, OCIError*, ub4, ub1***, ub4**, ub1**))                                   \
  X(V81, OCIDirPathColArrayReset, sword, (OCIDirPathColArray*, OCIError*))                         \
  X(V81, OCIDirPathColArrayToStream, sword,                                                        \
    (OCIDirPathColArray*, const OCIDirPathCtx*, OCIDirPathStream*, OCIError*, ub4, ub4))           \
  X(V81, OCIDirPathFinish, sword, (OCIDirPathCtx*, OCIError*))                                     \
  X(V81, OCIDirPathLoadStream, sword, (OCIDirPathCtx*, OCIDirPathStream*, OCIError*))              \
  X(V81, OCIDirPathPrepare, sword, (OCIDirPathCtx*, OCISvcCtx*, OCIError*))                        \
  X(V81, OCIDirPathStreamReset, sword, (OCIDirPathStream*, OCIError*))                             \
  /* 5. client 9.0 and later (35) */                                                               \
  X(V90, OCIDateTimeConstruct, sword,                                                              \
    (void*, OCIError*, OCIDateTime*, sb2, ub1, ub1, ub1, ub1, ub1, ub4, OraText*, size_t))         \
  X(V90, OCIDateTimeCheck, sword, (void*, OCIError*, const OCIDateTime*, ub4*))                    \
  X(V90, OCIDateTimeFromText, sword,                                                               \
    (void*, OCIError*, const OraText*, size_t, const OraText*, ub1, const OraText*, size_t,        \
     OCIDateTime*))                                                                                \
  X(V90, OCIDateTimeToText, sword,                                                                 \
    (void*, OCIError*, const OCIDateTime*, const OraText*, ub1, ub1, const OraText*, size_t, ub4*, \
     OraText*))                                                                                    \
  X(V90, OCIDateTimeGetDate, sword, (void*, OCIError*, const OCIDateTime*, sb2*, ub1*, ub1*))      \
  X(V90, OCIDateTimeGetTime, sword, (void*, OCIError*, OCIDateTime*, ub1*, ub1*, ub1*, ub4*))      \
  X(V90, OCIDateTimeGetTimeZoneOffset, sword, (void*, OCIError*, const OCIDateTime*, sb1*, sb1*))  \
  X(V90, OCIDateTimeGetTimeZoneName, sword, (void*, OCIError*, const OCIDateTime*, ub1*, ub4*))    \
  X(V90, OCIDateTimeAssign, sword, (void*, OCIError*, const OCIDateTime*, OCIDateTime*))           \
  X(V90, OCIDateTimeCompare, sword,                                                                \
    (void*, OCIError*, const OCIDateTime*, const OCIDateTime*, sword*))                            \
  X(V90, OCIIntervalFromText, sword, (void*, OCIError*, const OraText*, size_t, OCIInterval*))     \
  X(V90, OCIIntervalToText, sword,                                                                 \
    (void*, OCIError*, const OCIInterval*, ub1, ub1, OraText*, size_t, size_t*))                   \
  X(V90, OCIIntervalCheck, sword, (void*, OCIError*, const OCIInterval*, ub4*))                    \
  X(V90, OCIIntervalAssign, sword, (void*, OCIError*, const OCIInterval*, OCIInterval*))           \
  X(V90, OCIIntervalCompare, sword, (void*, OCIError*, OCIInterval*, OCIInterval*, sword*))        \
  X(V90, OCIIntervalSetYearMonth, sword, (void*, OCIError*, sb4, sb4, OCIInterval*))               \
  X(V90, OCIIntervalGetYearMonth, sword, (void*, OCIError*, sb4*, sb4*, const OCIInterval*))       \
  X(V90, OCIIntervalSetDaySecond, sword,                                                           \
    (void*, OCIError*, sb4, sb4, sb4, sb4, sb4, OCIInterval*))                                     \
  X(V90, OCIIntervalGetDaySecond, sword,                                                           \
    (void*, OCIError*, sb4*, sb4*, sb4*, sb4*, sb4*, const OCIInterval*))                          \
  X(V90, OCIIntervalFromNumber, sword, (void*, OCIError*, OCIInterval*, OCINumber*))               \
  X(V90, OCIXMLTypeNew, sword,                                                                     \
    (OCISvcCtx*, OCIError*, OCIDuration, OraText*, ub4, OraText*, ub4, OCIXMLType**))              \
  X(V90, OCIXMLTypeCreateFromSrc, sword,                                                           \
    (OCISvcCtx*, OCIError*, OCIDuration, ub1, void*, sb4, OCIXMLType**))                           \
  X(V90, OCIXMLTypeExtract, sword,                                                                 \
    (OCIError*, OCIXMLType*, OCIDuration, OraText*, ub4, OraText*, ub4, OCIXMLType**))             \
  X(V90, OCIXMLTypeTransform, sword,                                                               \
    (OCIError*, OCIDuration, OCIXMLType*, OCIXMLType*, OCIXMLType**))                              \
  X(V90, OCIXMLTypeExists, sword, (OCIError*, OCIXMLType*, OraText*, ub4, OraText*, ub4, ub4*))    \
  X(V90, OCIXMLTypeIsSchemaBased, sword, (OCIError*, OCIXMLType*, ub4*))                           \
  X(V90, OCIXMLTypeGetSchema, sword,                                                               \
    (OCIError*, OCIXMLType*, OCIXMLType**, OraText**, ub4*, OraText**, ub4*))                      \
  X(V90, OCIXMLTypeValidate, sword, (OCIError*, OCIXMLType*, OraText*, ub4, ub4*))                 \
  X(V90, OCIXMLTypeGetDOM, sword, (OCIError*, OCIXMLType*, OCIDuration, OCIDOMDocument**))         \
  X(V90, OCIXMLTypeGetFromDOM, sword, (OCIError*, OCIDOMDocument*, OCIXMLType**))                  \
  X(V90, OCIDOMFree, sword, (OCIError*, OCIDOMDocument*))                                          \
  X(V90, OCIRowidToChar, sword, (OCIRowid*, OraText*, ub2*, OCIError*))                            \
  X(V90C, OCIPStreamFromXMLType, sword, (OCIError*, void*, void*, sb4))                            \
  X(V90C, OCIPStreamRead, sword, (OCIError*, void*, void*, sb8*, sb4))                             \
  X(V90C, OCIPStreamClose, sword, (OCIError*, void*))
