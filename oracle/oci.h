/*
 * Published declarations of the Oracle Call Interface (release 10.2 numbering), usable from C and
 * C++. The program's client loader takes its constants and function types from here, and the
 * stand-in client library compiles its exports against the same prototypes so that both agree
 * byte for byte with a real client library.
 *
 * Sections: scalar types; opaque handles; status codes; handle and descriptor types; modes and
 * flags; attributes; describe attributes; statement types; SQL function codes; external data
 * types; limits; version-7 data areas; prototypes (release 8 and later); version-7 prototypes.
 */
#ifndef TARNWICK_ORACLE_OCI_H
#define TARNWICK_ORACLE_OCI_H

#include <stddef.h>

/* ---- Scalar types ------------------------------------------------------------------------ */

typedef unsigned char ub1;
typedef signed char sb1;
typedef char eb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4;
typedef signed int sb4;
#if defined(__LP64__) || defined(_LP64)
typedef unsigned long oraub8;
typedef signed long orasb8;
#else
typedef unsigned long long oraub8;
typedef signed long long orasb8;
#endif
typedef oraub8 ub8;
typedef orasb8 sb8;
typedef signed int sword;
typedef unsigned int uword;
typedef int eword;
typedef unsigned char oratext;
typedef oratext text;
typedef oratext OraText;
typedef unsigned short utext;
typedef int boolean;

#ifndef dvoid
#define dvoid void
#endif
#ifndef CONST
#define CONST const
#endif

/* ---- Opaque handle and descriptor types -------------------------------------------------- */

typedef struct OCIEnv OCIEnv;
typedef struct OCIError OCIError;
typedef struct OCISvcCtx OCISvcCtx;
typedef struct OCIStmt OCIStmt;
typedef struct OCIBind OCIBind;
typedef struct OCIDefine OCIDefine;
typedef struct OCIDescribe OCIDescribe;
typedef struct OCIServer OCIServer;
typedef struct OCISession OCISession;
typedef struct OCITrans OCITrans;
typedef struct OCISnapshot OCISnapshot;
typedef struct OCIParam OCIParam;
typedef struct OCIRowid OCIRowid;
typedef struct OCILobLocator OCILobLocator;
typedef struct OCIDateTime OCIDateTime;
typedef struct OCIInterval OCIInterval;

/* ---- Status codes ------------------------------------------------------------------------ */

#define OCI_SUCCESS 0
#define OCI_SUCCESS_WITH_INFO 1
#define OCI_RESERVED_FOR_INT_USE 200
#define OCI_NO_DATA 100
#define OCI_ERROR -1
#define OCI_INVALID_HANDLE -2
#define OCI_NEED_DATA 99
#define OCI_STILL_EXECUTING -3123
#define OCI_CONTINUE -24200
#define OCI_ROWCBK_DONE -24201

/* ---- Handle types ------------------------------------------------------------------------ */

#define OCI_HTYPE_FIRST 1
#define OCI_HTYPE_ENV 1
#define OCI_HTYPE_ERROR 2
#define OCI_HTYPE_SVCCTX 3
#define OCI_HTYPE_STMT 4
#define OCI_HTYPE_BIND 5
#define OCI_HTYPE_DEFINE 6
#define OCI_HTYPE_DESCRIBE 7
#define OCI_HTYPE_SERVER 8
#define OCI_HTYPE_SESSION 9
#define OCI_HTYPE_AUTHINFO OCI_HTYPE_SESSION
#define OCI_HTYPE_TRANS 10
#define OCI_HTYPE_COMPLEXOBJECT 11
#define OCI_HTYPE_SECURITY 12
#define OCI_HTYPE_SUBSCRIPTION 13
#define OCI_HTYPE_DIRPATH_CTX 14
#define OCI_HTYPE_DIRPATH_COLUMN_ARRAY 15
#define OCI_HTYPE_DIRPATH_STREAM 16
#define OCI_HTYPE_PROC 17
#define OCI_HTYPE_CPOOL 26
#define OCI_HTYPE_SPOOL 27
#define OCI_HTYPE_ADMIN 28
#define OCI_HTYPE_EVENT 29
#define OCI_HTYPE_LAST 29

/* ---- Descriptor types -------------------------------------------------------------------- */

#define OCI_DTYPE_FIRST 50
#define OCI_DTYPE_LOB 50
#define OCI_DTYPE_SNAP 51
#define OCI_DTYPE_RSET 52
#define OCI_DTYPE_PARAM 53
#define OCI_DTYPE_ROWID 54
#define OCI_DTYPE_COMPLEXOBJECTCOMP 55
#define OCI_DTYPE_FILE 56
#define OCI_DTYPE_AQENQ_OPTIONS 57
#define OCI_DTYPE_AQDEQ_OPTIONS 58
#define OCI_DTYPE_AQMSG_PROPERTIES 59
#define OCI_DTYPE_AQAGENT 60
#define OCI_DTYPE_LOCATOR 61
#define OCI_DTYPE_INTERVAL_YM 62
#define OCI_DTYPE_INTERVAL_DS 63
#define OCI_DTYPE_AQNFY_DESCRIPTOR 64
#define OCI_DTYPE_DATE 65
#define OCI_DTYPE_TIME 66
#define OCI_DTYPE_TIME_TZ 67
#define OCI_DTYPE_TIMESTAMP 68
#define OCI_DTYPE_TIMESTAMP_TZ 69
#define OCI_DTYPE_TIMESTAMP_LTZ 70
#define OCI_DTYPE_UCB 71
#define OCI_DTYPE_SRVDN 72
#define OCI_DTYPE_SIGNATURE 73
#define OCI_DTYPE_CHDES 77
#define OCI_DTYPE_TABLE_CHDES 78
#define OCI_DTYPE_ROW_CHDES 79

/* ---- Environment modes (OCIEnvCreate, OCIInitialize) ------------------------------------- */

#define OCI_DEFAULT 0x00000000
#define OCI_THREADED 0x00000001
#define OCI_OBJECT 0x00000002
#define OCI_EVENTS 0x00000004
#define OCI_RESERVED1 0x00000008
#define OCI_SHARED 0x00000010
#define OCI_RESERVED2 0x00000020
#define OCI_NO_UCB 0x00000040
#define OCI_NO_MUTEX 0x00000080
#define OCI_SHARED_EXT 0x00000100
#define OCI_ALWAYS_BLOCKING 0x00000400
#define OCI_USE_LDAP 0x00001000
#define OCI_REG_LDAPONLY 0x00002000
#define OCI_UTF16 0x00004000
#define OCI_AFC_PAD_ON 0x00008000
#define OCI_NEW_LENGTH_SEMANTICS 0x00020000
#define OCI_NO_MUTEX_STMT 0x00040000
#define OCI_MUTEX_ENV_ONLY 0x00080000
#define OCI_MUTEX_TRY 0x00200000
#define OCI_NCHAR_LITERAL_REPLACE_ON 0x00400000
#define OCI_NCHAR_LITERAL_REPLACE_OFF 0x00800000

/* OCIEnvInit modes */
#define OCI_ENV_NO_UCB 0x01
#define OCI_ENV_NO_MUTEX 0x08

/* ---- Statement preparation (language, mode) ---------------------------------------------- */

#define OCI_NTV_SYNTAX 1
#define OCI_V7_SYNTAX 2
#define OCI_V8_SYNTAX 3
#define OCI_NO_SHARING 0x01
#define OCI_PREP_AFC_PAD_ON 0x04
#define OCI_PREP_AFC_PAD_OFF 0x08

/* ---- Execution modes --------------------------------------------------------------------- */

#define OCI_BATCH_MODE 0x00000001
#define OCI_EXACT_FETCH 0x00000002
#define OCI_STMT_SCROLLABLE_READONLY 0x00000008
#define OCI_DESCRIBE_ONLY 0x00000010
#define OCI_COMMIT_ON_SUCCESS 0x00000020
#define OCI_NON_BLOCKING 0x00000040
#define OCI_BATCH_ERRORS 0x00000080
#define OCI_PARSE_ONLY 0x00000100
#define OCI_SHOW_DML_WARNINGS 0x00000400

/* ---- Fetch orientations ------------------------------------------------------------------ */

#define OCI_FETCH_CURRENT 0x00000001
#define OCI_FETCH_NEXT 0x00000002
#define OCI_FETCH_FIRST 0x00000004
#define OCI_FETCH_LAST 0x00000008
#define OCI_FETCH_PRIOR 0x00000010
#define OCI_FETCH_ABSOLUTE 0x00000020
#define OCI_FETCH_RELATIVE 0x00000040

/* ---- Authentication ---------------------------------------------------------------------- */

#define OCI_CRED_RDBMS 1
#define OCI_CRED_EXT 2
#define OCI_CRED_PROXY 3
#define OCI_MIGRATE 0x00000001
#define OCI_SYSDBA 0x00000002
#define OCI_SYSOPER 0x00000004
#define OCI_PRELIM_AUTH 0x00000008
#define OCI_STMT_CACHE 0x00000040

/* ---- Bind / define modes, pieces, indicators --------------------------------------------- */

#define OCI_SB2_IND_PTR 0x00000001
#define OCI_DATA_AT_EXEC 0x00000002
#define OCI_DYNAMIC_FETCH 0x00000002
#define OCI_PIECEWISE 0x00000004
#define OCI_ONE_PIECE 0
#define OCI_FIRST_PIECE 1
#define OCI_NEXT_PIECE 2
#define OCI_LAST_PIECE 3
#define OCI_PARAM_IN 0x01
#define OCI_PARAM_OUT 0x02
#define OCI_IND_NOTNULL 0
#define OCI_IND_NULL (-1)

/* ---- Transactions ------------------------------------------------------------------------ */

#define OCI_TRANS_NEW 0x00000001
#define OCI_TRANS_JOIN 0x00000002
#define OCI_TRANS_RESUME 0x00000004
#define OCI_TRANS_READONLY 0x00000100
#define OCI_TRANS_READWRITE 0x00000200
#define OCI_TRANS_SERIALIZABLE 0x00000400
#define OCI_TRANS_TWOPHASE 0x01000000

/* ---- Transparent application failover ---------------------------------------------------- */

#define OCI_FO_END 0x00000001
#define OCI_FO_ABORT 0x00000002
#define OCI_FO_REAUTH 0x00000004
#define OCI_FO_BEGIN 0x00000008
#define OCI_FO_ERROR 0x00000010
#define OCI_FO_NONE 0x00000001
#define OCI_FO_SESSION 0x00000002
#define OCI_FO_SELECT 0x00000004
#define OCI_FO_TXNAL 0x00000008
#define OCI_FO_RETRY 25410

typedef sb4 (*OCICallbackFailover)(void* svcctx, void* envctx, void* fo_ctx, ub4 fo_type,
                                   ub4 fo_event);
typedef struct {
  OCICallbackFailover callback_function;
  void* fo_ctx;
} OCIFocbkStruct;

/* ---- Version-7 modes --------------------------------------------------------------------- */

#define OCI_EV_DEF 0
#define OCI_EV_TSF 1
#define OCI_LM_DEF 0
#define OCI_LM_NBL 1

/* ---- Other constants --------------------------------------------------------------------- */

#define OCI_UTF16ID 1000
#define SQLCS_IMPLICIT 1
#define SQLCS_NCHAR 2
#define SQLCS_EXPLICIT 3
#define SQLCS_FLEXIBLE 4
#define SQLCS_LIT_NULL 5
#define OCI_SERVER_NOT_CONNECTED 0x0
#define OCI_SERVER_NORMAL 0x1
#define OCI_ERROR_MAXMSG_SIZE 1024
#define OCI_SQLSTATE_SIZE 5
#define OCI_ROWID_LEN 23
#define OCI_NUMBER_SIZE 22

/* ---- Handle attributes ------------------------------------------------------------------- */

#define OCI_ATTR_FNCODE 1
#define OCI_ATTR_OBJECT 2
#define OCI_ATTR_NONBLOCKING_MODE 3
#define OCI_ATTR_SQLCODE 4
#define OCI_ATTR_ENV 5
#define OCI_ATTR_SERVER 6
#define OCI_ATTR_SESSION 7
#define OCI_ATTR_TRANS 8
#define OCI_ATTR_ROW_COUNT 9
#define OCI_ATTR_SQLFNCODE 10
#define OCI_ATTR_PREFETCH_ROWS 11
#define OCI_ATTR_NESTED_PREFETCH_ROWS 12
#define OCI_ATTR_PREFETCH_MEMORY 13
#define OCI_ATTR_NESTED_PREFETCH_MEMORY 14
#define OCI_ATTR_CHAR_COUNT 15
#define OCI_ATTR_PDSCL 16
#define OCI_ATTR_FSPRECISION OCI_ATTR_PDSCL
#define OCI_ATTR_PDPRC 17
#define OCI_ATTR_LFPRECISION OCI_ATTR_PDPRC
#define OCI_ATTR_PARAM_COUNT 18
#define OCI_ATTR_ROWID 19
#define OCI_ATTR_CHARSET 20
#define OCI_ATTR_NCHAR 21
#define OCI_ATTR_USERNAME 22
#define OCI_ATTR_PASSWORD 23
#define OCI_ATTR_STMT_TYPE 24
#define OCI_ATTR_INTERNAL_NAME 25
#define OCI_ATTR_EXTERNAL_NAME 26
#define OCI_ATTR_XID 27
#define OCI_ATTR_TRANS_LOCK 28
#define OCI_ATTR_TRANS_NAME 29
#define OCI_ATTR_HEAPALLOC 30
#define OCI_ATTR_CHARSET_ID 31
#define OCI_ATTR_CHARSET_FORM 32
#define OCI_ATTR_MAXDATA_SIZE 33
#define OCI_ATTR_CACHE_OPT_SIZE 34
#define OCI_ATTR_CACHE_MAX_SIZE 35
#define OCI_ATTR_PINOPTION 36
#define OCI_ATTR_ALLOC_DURATION 37
#define OCI_ATTR_PIN_DURATION 38
#define OCI_ATTR_FDO 39
#define OCI_ATTR_POSTPROCESSING_CALLBACK 40
#define OCI_ATTR_POSTPROCESSING_CONTEXT 41
#define OCI_ATTR_ROWS_RETURNED 42
#define OCI_ATTR_FOCBK 43
#define OCI_ATTR_IN_V8_MODE 44
#define OCI_ATTR_LOBEMPTY 45
#define OCI_ATTR_SESSLANG 46
#define OCI_ATTR_SHARED_HEAPALLOC 84
#define OCI_ATTR_PARSE_ERROR_OFFSET 129
#define OCI_ATTR_SERVER_STATUS 143
#define OCI_ATTR_STATEMENT 144
#define OCI_ATTR_ROWS_FETCHED 197
#define OCI_ATTR_CLIENT_IDENTIFIER 278
#define OCI_ATTR_MODULE 366
#define OCI_ATTR_ACTION 367
#define OCI_ATTR_CLIENT_INFO 368

/* ---- Describe attributes (parameter descriptors) ----------------------------------------- */

#define OCI_ATTR_DATA_SIZE 1
#define OCI_ATTR_DATA_TYPE 2
#define OCI_ATTR_DISP_SIZE 3
#define OCI_ATTR_NAME 4
#define OCI_ATTR_PRECISION 5
#define OCI_ATTR_SCALE 6
#define OCI_ATTR_IS_NULL 7
#define OCI_ATTR_TYPE_NAME 8
#define OCI_ATTR_SCHEMA_NAME 9
#define OCI_ATTR_SUB_NAME 10
#define OCI_ATTR_POSITION 11
#define OCI_ATTR_NUM_COLS 102
#define OCI_ATTR_PTYPE 123
#define OCI_ATTR_CHAR_USED 285
#define OCI_ATTR_CHAR_SIZE 286

#define OCI_PTYPE_UNK 0
#define OCI_PTYPE_TABLE 1
#define OCI_PTYPE_VIEW 2
#define OCI_PTYPE_PROC 3
#define OCI_PTYPE_FUNC 4
#define OCI_PTYPE_PKG 5
#define OCI_PTYPE_TYPE 6
#define OCI_PTYPE_SYN 7
#define OCI_PTYPE_SEQ 8
#define OCI_PTYPE_COL 9
#define OCI_PTYPE_ARG 10
#define OCI_PTYPE_LIST 11

/* ---- Statement types (OCI_ATTR_STMT_TYPE) ------------------------------------------------ */

#define OCI_STMT_UNKNOWN 0
#define OCI_STMT_SELECT 1
#define OCI_STMT_UPDATE 2
#define OCI_STMT_DELETE 3
#define OCI_STMT_INSERT 4
#define OCI_STMT_CREATE 5
#define OCI_STMT_DROP 6
#define OCI_STMT_ALTER 7
#define OCI_STMT_BEGIN 8
#define OCI_STMT_DECLARE 9
#define OCI_STMT_CALL 10
#define OCI_STMT_MERGE 16

/* ---- SQL function codes (OCI_ATTR_SQLFNCODE, version-7 ft field) ------------------------- */

#define OCI_FNCODE_SQL_CREATE_TABLE 1
#define OCI_FNCODE_SQL_INSERT 3
#define OCI_FNCODE_SQL_SELECT 4
#define OCI_FNCODE_SQL_UPDATE 5
#define OCI_FNCODE_SQL_DROP_TABLE 8
#define OCI_FNCODE_SQL_DELETE 9
#define OCI_FNCODE_SQL_PLSQL_EXECUTE 34
#define OCI_FNCODE_SQL_ALTER_SESSION 52
#define OCI_FNCODE_SQL_COMMIT 54
#define OCI_FNCODE_SQL_ROLLBACK 55

/* ---- External data types (SQLT) ---------------------------------------------------------- */

#define SQLT_CHR 1
#define SQLT_NUM 2
#define SQLT_INT 3
#define SQLT_FLT 4
#define SQLT_STR 5
#define SQLT_VNU 6
#define SQLT_PDN 7
#define SQLT_LNG 8
#define SQLT_VCS 9
#define SQLT_NON 10
#define SQLT_RID 11
#define SQLT_DAT 12
#define SQLT_VBI 15
#define SQLT_BFLOAT 21
#define SQLT_BDOUBLE 22
#define SQLT_BIN 23
#define SQLT_LBI 24
#define SQLT_UIN 68
#define SQLT_SLS 91
#define SQLT_LVC 94
#define SQLT_LVB 95
#define SQLT_AFC 96
#define SQLT_AVC 97
#define SQLT_IBFLOAT 100
#define SQLT_IBDOUBLE 101
#define SQLT_CUR 102
#define SQLT_RDD 104
#define SQLT_LAB 105
#define SQLT_OSL 106
#define SQLT_NTY 108
#define SQLT_REF 110
#define SQLT_CLOB 112
#define SQLT_BLOB 113
#define SQLT_BFILEE 114
#define SQLT_CFILEE 115
#define SQLT_RSET 116
#define SQLT_NCO 122
#define SQLT_VST 155
#define SQLT_ODT 156
#define SQLT_DATE 184
#define SQLT_TIME 185
#define SQLT_TIME_TZ 186
#define SQLT_TIMESTAMP 187
#define SQLT_TIMESTAMP_TZ 188
#define SQLT_INTERVAL_YM 189
#define SQLT_INTERVAL_DS 190
#define SQLT_TIMESTAMP_LTZ 232
#define SQLT_PNTY 241
#define SQLT_FILE SQLT_BFILEE
#define SQLT_CFILE SQLT_CFILEE
#define SQLT_BFILE SQLT_BFILEE

/* ---- Version-7 data areas ---------------------------------------------------------------- */

#if defined(SS_64BIT_SERVER) || defined(__64BIT__)
#define CDA_SIZE 88
#define HDA_SIZE 512
#else
#define CDA_SIZE 64
#define HDA_SIZE 256
#endif

struct cda_head {
  sb2 v2_rc;
  ub2 ft;
  ub4 rpc;
  ub2 peo;
  ub1 fc;
  ub1 rcs1;
  ub2 rc;
  ub1 wrn;
  ub1 rcs2;
  sword rcs3;
  struct {
    struct {
      ub4 rcs4;
      ub2 rcs5;
      ub1 rcs6;
    } rd;
    ub4 rcs7;
    ub2 rcs8;
  } rid;
  sword ose;
  ub1 chk;
  void* rcsp;
};

struct cda_def {
  sb2 v2_rc; /* version-2 return code */
  ub2 ft;    /* SQL function type */
  ub4 rpc;   /* rows processed count */
  ub2 peo;   /* parse error offset */
  ub1 fc;    /* OCI function code */
  ub1 rcs1;
  ub2 rc;  /* version-7 return (error) code */
  ub1 wrn; /* warning flags */
  ub1 rcs2;
  sword rcs3;
  struct {
    struct {
      ub4 rcs4;
      ub2 rcs5;
      ub1 rcs6;
    } rd;
    ub4 rcs7;
    ub2 rcs8;
  } rid;
  sword ose; /* operating-system error */
  ub1 chk;
  void* rcsp;
  ub1 rcs9[CDA_SIZE - sizeof(struct cda_head)];
};
typedef struct cda_def Cda_Def;
typedef struct cda_def Lda_Def;

/* Codes of the version-7 demonstration header. */
#define VARCHAR2_TYPE 1
#define NUMBER_TYPE 2
#define INT_TYPE 3
#define FLOAT_TYPE 4
#define STRING_TYPE 5
#define ROWID_TYPE 11
#define DATE_TYPE 12
#define VAR_NOT_IN_LIST 1007
#define NO_DATA_FOUND 1403
#define NULL_VALUE_RETURNED 1405
#define FT_INSERT 3
#define FT_SELECT 4
#define FT_UPDATE 5
#define FT_DELETE 9
#define FC_OOPEN 14

#ifdef __cplusplus
static_assert(sizeof(Cda_Def) == CDA_SIZE, "version-7 data area size");
extern "C" {
#endif

/* ---- Prototypes ------------------------------------------------------------------------- */

/* environment */
sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, void* ctxp, void* (*malocfp)(void* ctxp, size_t size),
                   void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                   void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz, void** usrmempp);
sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, void* ctxp, void* (*malocfp)(void*, size_t),
                      void* (*ralocfp)(void*, void*, size_t), void (*mfreefp)(void*, void*),
                      size_t xtramem_sz, void** usrmempp, ub2 charset, ub2 ncharset);
sword OCIInitialize(ub4 mode, void* ctxp, void* (*malocfp)(void*, size_t),
                    void* (*ralocfp)(void*, void*, size_t), void (*mfreefp)(void*, void*));
sword OCIEnvInit(OCIEnv** envhpp, ub4 mode, size_t xtramem_sz, void** usrmempp);
sword OCITerminate(ub4 mode);

/* handles and descriptors */
sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type, const size_t xtramem_sz,
                     void** usrmempp);
sword OCIHandleFree(void* hndlp, const ub4 type);
sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type,
                         const size_t xtramem_sz, void** usrmempp);
sword OCIDescriptorFree(void* descp, const ub4 type);
sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                 OCIError* errhp);
sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp);
sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos);

/* errors */
sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type);

/* connection */
sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                      ub4 mode);
sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode);
sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4 mode);
sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
sword OCIServerVersion(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype);
sword OCIServerRelease(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype,
                       ub4* version);
void OCIClientVersion(sword* major_version, sword* minor_version, sword* update_num,
                      sword* patch_num, sword* port_update_num);
sword OCIBreak(void* hndlp, OCIError* errhp);
sword OCIReset(void* hndlp, OCIError* errhp);
sword OCIPasswordChange(OCISvcCtx* svchp, OCIError* errhp, const OraText* user_name, ub4 usernm_len,
                        const OraText* opasswd, ub4 opasswd_len, const OraText* npasswd,
                        ub4 npasswd_len, ub4 mode);
sword OCILogon(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp, const OraText* username,
               ub4 uname_len, const OraText* password, ub4 passwd_len, const OraText* dbname,
               ub4 dbname_len);
sword OCILogoff(OCISvcCtx* svchp, OCIError* errhp);

/* transactions */
sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);

/* statements */
sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                     ub4 language, ub4 mode);
sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, sb4 scrollOffset,
                    ub4 mode);
sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep, ub1* in_outp,
                          ub4* iterp, ub4* idxp, ub1* piecep);
sword OCIStmtSetPieceInfo(void* hndlp, ub4 type, OCIError* errhp, const void* bufp, ub4* alenp,
                          ub1 piece, const void* indp, ub2* rcodep);

/* define (output) */
sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position, void* valuep,
                     sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep, ub4 mode);
sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 rlskip,
                             ub4 rcskip);
typedef sb4 (*OCICallbackDefine)(void* octxp, OCIDefine* defnp, ub4 iter, void** bufpp, ub4** alenp,
                                 ub1* piecep, void** indp, ub2** rcodep);
sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, void* octxp, OCICallbackDefine ocbfp);

/* bind (input) */
sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder,
                    sb4 placeh_len, void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp,
                    ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode);
sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                   sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,
                   ub4* curelep, ub4 mode);
sword OCIBindArrayOfStruct(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 alskip,
                           ub4 rcskip);

/* misc */
sword OCIDescribeAny(OCISvcCtx* svchp, OCIError* errhp, void* objptr, ub4 objnm_len, ub1 objptr_typ,
                     ub1 info_level, ub1 objtyp, OCIDescribe* dschp);
sword OCIRowidToChar(OCIRowid* rowidDesc, OraText* outbfp, ub2* outbflp, OCIError* errhp);
sword OCISvcCtxToLda(OCISvcCtx* svchp, OCIError* errhp, Lda_Def* ldap);
sword OCILdaToSvcCtx(OCISvcCtx** svchpp, OCIError* errhp, Lda_Def* ldap);

/* ---- Version-7 prototypes ---------------------------------------------------------------- */

sword olog(Lda_Def* lda, ub1* hda, OraText* uid, sword uidl, OraText* pswd, sword pswdl,
           OraText* conn, sword connl, ub4 mode);
sword ologof(Lda_Def* lda);
sword oopen(Cda_Def* cursor, Lda_Def* lda, OraText* dbn, sword dbnl, sword arsize, OraText* uid,
            sword uidl);
sword oparse(Cda_Def* cursor, OraText* sqlstm, sb4 sqllen, sword defflg, ub4 lngflg);
sword oexec(Cda_Def* cursor);
sword oexn(Cda_Def* cursor, sword iters, sword rowoff);
sword oexfet(Cda_Def* cursor, ub4 nrows, sword cancel, sword exact);
sword ofetch(Cda_Def* cursor);
sword ofen(Cda_Def* cursor, sword nrows);
sword oclose(Cda_Def* cursor);
sword ocan(Cda_Def* cursor);
sword ocom(Lda_Def* lda);
sword orol(Lda_Def* lda);
sword ocon(Lda_Def* lda);
sword ocof(Lda_Def* lda);
sword obreak(Lda_Def* lda);
sword oopt(Cda_Def* cursor, sword rbopt, sword waitopt);
sword opinit(ub4 mode);
sword oerhms(Lda_Def* lda, sb2 rcode, OraText* buf, sword bufsiz);
sword oermsg(sb2 rcode, OraText* buf);
sword odescr(Cda_Def* cursor, sword pos, sb4* dbsize, sb2* dbtype, sb1* cbuf, sb4* cbufl,
             sb4* dsize, sb2* prec, sb2* scale, sb2* nullok);
sword odefin(Cda_Def* cursor, sword pos, ub1* buf, sword bufl, sword ftype, sword scale, sb2* indp,
             OraText* fmt, sword fmtl, sword fmtt, ub2* rlen, ub2* rcode);
sword odefinps(Cda_Def* cursor, ub1 opcode, sword pos, ub1* bufctx, sb4 bufl, sword ftype,
               sword scale, sb2* indp, OraText* fmt, sb4 fmtl, sword fmtt, ub2* rlen, ub2* rcode,
               sb4 pv_skip, sb4 ind_skip, sb4 alen_skip, sb4 rc_skip);
sword obndra(Cda_Def* cursor, OraText* sqlvar, sword sqlvl, ub1* progv, sword progvl, sword ftype,
             sword scale, sb2* indp, ub2* alen, ub2* arcode, ub4 maxsiz, ub4* cursiz, OraText* fmt,
             sword fmtl, sword fmtt);
sword obndrn(Cda_Def* cursor, sword sqlvn, ub1* progv, sword progvl, sword ftype, sword scale,
             sb2* indp, OraText* fmt, sword fmtl, sword fmtt);
sword obndrv(Cda_Def* cursor, OraText* sqlvar, sword sqlvl, ub1* progv, sword progvl, sword ftype,
             sword scale, sb2* indp, OraText* fmt, sword fmtl, sword fmtt);
sword obindps(Cda_Def* cursor, ub1 opcode, OraText* sqlvar, sb4 sqlvl, ub1* pvctx, sb4 progvl,
              sword ftype, sword scale, sb2* indp, ub2* alen, ub2* arcode, sb4 pv_skip,
              sb4 ind_skip, sb4 alen_skip, sb4 rc_skip, ub4 maxsiz, ub4* cursiz, OraText* fmt,
              sb4 fmtl, sword fmtt);
sword oflng(Cda_Def* cursor, sword pos, ub1* buf, sb4 bufl, sword dtype, ub4* retl, sb4 offset);
sword odessp(Cda_Def* cursor, OraText* objnam, size_t onlen, ub1* rsv1, size_t rsv1ln, ub1* rsv2,
             size_t rsv2ln, ub2* ovrld, ub2* pos, ub2* level, OraText** argnam, ub2* arnlen,
             ub2* dtype, ub1* defsup, ub1* mode, ub4* dtsiz, sb2* prec, sb2* scale, ub1* radix,
             ub4* spare, ub4* arrsiz);
sword ogetpi(Cda_Def* cursor, ub1* piecep, void** ctxpp, ub4* iterp, ub4* indexp);
sword osetpi(Cda_Def* cursor, ub1 piece, void* bufp, ub4* lenp);
sword onbset(Lda_Def* lda);
sword onbtst(Lda_Def* lda);
sword onbclr(Lda_Def* lda);
sword ognfd(Lda_Def* lda, void* fdp);
void sqllda(Lda_Def* lda);
void sqlld2(Lda_Def* lda, OraText* cname, sb4* cnlen);

#ifdef __cplusplus
}
#endif

/* ---- Additions by the client loader (append constants below this line) ------------------- */

/* Added for the loader: the types that the object, collection, large-object, direct-path and XML
 * entry points of the loader's table are declared with. Opaque where callers only hold
 * pointers; enumerations with their published values. */
typedef struct OCIType OCIType;
typedef struct OCIRef OCIRef;
typedef struct OCIComplexObject OCIComplexObject;
typedef struct OCIColl OCIColl;
typedef OCIColl OCITable;
typedef struct OCIString OCIString;
typedef struct OCIDirPathCtx OCIDirPathCtx;
typedef struct OCIDirPathColArray OCIDirPathColArray;
typedef struct OCIDirPathStream OCIDirPathStream;
typedef struct OCIXMLType OCIXMLType;
typedef struct OCIDOMDocument OCIDOMDocument;
typedef struct OCINumber {
  ub1 OCINumberPart[OCI_NUMBER_SIZE];
} OCINumber;
typedef struct OCITime {
  ub1 OCITimeHH;
  ub1 OCITimeMI;
  ub1 OCITimeSS;
} OCITime;
typedef struct OCIDate {
  sb2 OCIDateYYYY;
  ub1 OCIDateMM;
  ub1 OCIDateDD;
  OCITime OCIDateTime;
} OCIDate;
typedef ub2 OCIDuration;
typedef ub2 OCITypeCode;
typedef sb2 OCIInd;
typedef ub1 OCIObjectPropId;
typedef enum OCIPinOpt {
  OCI_PIN_DEFAULT = 1,
  OCI_PIN_ANY = 3,
  OCI_PIN_RECENT = 4,
  OCI_PIN_LATEST = 5
} OCIPinOpt;
typedef enum OCILockOpt { OCI_LOCK_NONE = 1, OCI_LOCK_X = 2, OCI_LOCK_X_NOWAIT = 3 } OCILockOpt;
typedef enum OCIRefreshOpt { OCI_REFRESH_LOADED = 1 } OCIRefreshOpt;
typedef enum OCITypeGetOpt { OCI_TYPEGET_HEADER = 0, OCI_TYPEGET_ALL = 1 } OCITypeGetOpt;
typedef sb4 (*OCICallbackInBind)(void* ictxp, OCIBind* bindp, ub4 iter, ub4 index, void** bufpp,
                                 ub4* alenp, ub1* piecep, void** indp);
typedef sb4 (*OCICallbackOutBind)(void* octxp, OCIBind* bindp, ub4 iter, ub4 index, void** bufpp,
                                  ub4** alenp, ub1* piecep, void** indp, ub2** rcodep);
typedef sb4 (*OCICallbackLobRead)(void* ctxp, const void* bufp, ub4 len, ub1 piece);
typedef sb4 (*OCICallbackLobWrite)(void* ctxp, void* bufp, ub4* lenp, ub1* piece);

#endif /* TARNWICK_ORACLE_OCI_H */
