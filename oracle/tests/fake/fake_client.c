/* A tiny client library for the loader's tests: it exports a handful of the published entry
 * points (and deliberately not OCIStmtFetch2) plus two controls that tests reach with dlsym. */
#include <stdlib.h>
#include <string.h>

#include "oracle/oci.h"

static sword errorGetResult = OCI_SUCCESS;
static sb4 errorGetCode = 0;
static char errorGetText[1024];
static ub4 lastEnvMode = 0xFFFFFFFFu;
static int handlesLive = 0;

void fake_set_error(sword result, sb4 code, const char* text) {
  errorGetResult = result;
  errorGetCode = code;
  strncpy(errorGetText, text, sizeof errorGetText - 1);
  errorGetText[sizeof errorGetText - 1] = 0;
}

ub4 fake_env_mode(void) { return lastEnvMode; }
int fake_handles_live(void) { return handlesLive; }

sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, void* ctxp, void* (*malocfp)(void* ctxp, size_t size),
                   void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                   void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz, void** usrmempp) {
  (void)ctxp, (void)malocfp, (void)ralocfp, (void)mfreefp, (void)xtramem_sz, (void)usrmempp;
  lastEnvMode = mode;
  *envhpp = (OCIEnv*)malloc(8);
  ++handlesLive;
  return OCI_SUCCESS;
}

sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type, const size_t xtramem_sz,
                     void** usrmempp) {
  (void)parenth, (void)type, (void)xtramem_sz, (void)usrmempp;
  *hndlpp = malloc(8);
  ++handlesLive;
  return OCI_SUCCESS;
}

sword OCIHandleFree(void* hndlp, const ub4 type) {
  (void)type;
  free(hndlp);
  --handlesLive;
  return OCI_SUCCESS;
}

sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type) {
  (void)hndlp, (void)recordno, (void)sqlstate, (void)type;
  *errcodep = errorGetCode;
  if (bufsiz > 0) {
    strncpy((char*)bufp, errorGetText, bufsiz - 1);
    bufp[bufsiz - 1] = 0;
  }
  return errorGetResult;
}

sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode) {
  (void)stmtp, (void)errhp, (void)nrows, (void)orientation, (void)mode;
  return OCI_NO_DATA;
}

sword OCIServerVersion(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype) {
  (void)hndlp, (void)errhp, (void)hndltype;
  strncpy((char*)bufp, "Fake Release 10.2.0.1.0 - Production", bufsz - 1);
  bufp[bufsz - 1] = 0;
  return OCI_SUCCESS;
}

#ifdef TARNWICK_FAKE_NEEDS_DEPENDENCY
/* The variant that needs another library: a call into it keeps it among the needed libraries. */
int fake_dependency_value(void);
int fake_needed_value(void) { return fake_dependency_value(); }
#endif
