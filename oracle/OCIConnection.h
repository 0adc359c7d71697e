#pragma once
// The low-level Oracle connection: one session opened through the client library, its OCI
// handles, its lock, its numbered properties and the turning of OCI statuses into exceptions.
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "oracle/CRConnection.h"
#include "oracle/OCIHandle.h"
#include "oracle/Oracall.h"
#include "oracle/oci.h"

namespace tarnwick {

class TOCICommand;

// The connection layer's names for creating and freeing the process-wide environment.
inline void OCIInit() {
  InitOCI();
}
inline void OCIFinish() {
  FinishOCI();
}

// The version in a server banner: from one character before its first "." (two when the
// character two before it is a digit) up to the next blank; empty when no blank follows.
std::string VersionFromBanner(const std::string& banner);

enum class TConnectMode : int32_t { cmNormal = 0, cmSysOper = 1, cmSysDBA = 2 };

class TOCIConnection : public TCRConnection {
 public:
  // Failover events: called with the client's event and failover type; set `retry` to ask the
  // client to try again.
  using TFailoverProc = std::function<void(ub4 foEvent, ub4 foType, bool& retry)>;

  struct TNlsParam {
    const char* Name;
    int Prop;
    std::string Value;
    bool IsSet = false;
  };

  TOCIConnection();
  ~TOCIConnection() override;

  void Connect(const std::string& connectString) override;
  void Disconnect() override;
  void StartTransaction() override { Commit(); }
  void Commit() override;
  void Rollback() override;
  void CheckIsValid() override;
  bool SetProp(int prop, const TPropValue& value) override;
  bool GetProp(int prop, TPropValue& value) override;

  std::string GetOracleVersionSt();
  uint16_t GetOracleVersion();
  void GetSessionParameters();
  void SetNlsParameter(const std::string& name, const std::string& value);
  uint16_t GetMaxStringSize();

  // The connection lock around OCI calls made with this connection's handles (only when
  // ThreadSafety is on). BusyWait waits without limit; Busy raises ORA-03127a when another
  // thread holds the lock.
  void BusyWait();
  void Release();
  void Busy();

  void BreakExec();
  void ChangePassword(const std::string& newPassword);
  void SetNonBlocking(bool value);

  TOCICallStyle GetOCICallStyle() const { return FCallStyle; }
  void SetOCICallStyle(TOCICallStyle value);
  TOCICallStyle GetOCICallStyleCommand() const { return FCommandCallStyle; }
  int32_t GetLastError() const { return FLastError; }
  void SetLastError(int32_t value) { FLastError = value; }

  OCISvcCtx* GetSvcCtx() const { return FSvcCtx.get(); }
  OCIServer* GetServerHandle() const { return FServerHandle.get(); }
  OCISession* GetSessionHandle() const { return FSessionHandle.get(); }
  OCIError* GetErrorHandle() const { return FErrorHandle; }
  OCIEnv* GetEnvHandle() const { return FEnvHandle; }
  Lda_Def* GetLDA();
  void SetSvcCtx(OCISvcCtx* svcCtx);
  void SetLDA(Lda_Def* lda);
  bool OwnsHandles() const { return FOwnsHandles; }

  bool ThreadSafety() const { return FThreadSafety; }
  bool EnableIntegers() const { return FEnableIntegers; }
  bool EnableNumbers() const { return FEnableNumbers; }
  bool UseUnicode() const { return FUseUnicode; }
  uint16_t CharLength() const { return FCharLength; }
  uint16_t CharsetId() const { return FCharsetId; }
  // The most bytes one character takes in the client's character set, by which text buffers
  // are sized: 4 at the start, the most of any Oracle character set and what AL32UTF8 (the
  // programs' client character set) takes. A client known to use a single-byte set may take 1
  // to save memory; a value the client then exceeds fails the fetch, it never cuts a value.
  // Takes effect at the next describe; values outside 1 to 4 raise.
  uint16_t ClientMaxCharBytes() const { return FClientMaxCharBytes; }
  void SetClientMaxCharBytes(uint16_t value);
  TConnectMode ConnectMode() const { return FConnectMode; }
  const std::array<TNlsParam, 5>& NlsParams() const { return FNlsParams; }

  // Turns a failed status into EOraError: the error hook sees it first, then it is raised.
  // For OCI80 a warning (OCI_SUCCESS_WITH_INFO) other than ORA-24344 returns silently with
  // LastError set. `status` receives the Oracle error code.
  void OraError(TOCICallStyle callStyle, sword& status, bool useHook);
  // OraError with the connection's own call style and the hook, for any status but OCI_SUCCESS.
  void Check(sword status) {
    RethrowFailover();
    if (status != OCI_SUCCESS) OraError(FCallStyle, status, true);
  }
  // The failover hook runs inside a client call, where no exception may unwind: what it throws
  // is kept and raised here, once the client call has returned. Every checked client call of the
  // connection and its commands comes through here first.
  void RethrowFailover() {
    if (FFailoverError) std::rethrow_exception(std::exchange(FFailoverError, nullptr));
  }
  void CheckOCI();
  void CheckOCI73();
  void CheckOCI80();
  // The command this connection runs its own statements with (server version, session
  // settings), made on this connection at the first need and kept for the connection's life.
  TOCICommand& CheckCommand();

  TFailoverProc OnFailover;
  // What was registered with the client as OCI_ATTR_FOCBK (empty before the first connect).
  const OCIFocbkStruct& FailoverRegistration() const { return FFocbk; }

 private:
  void FreeSessionHandles();
  void ApplyNlsParams();
  static sb4 FailoverCallback(void* svcctx, void* envctx, void* foCtx, ub4 foType, ub4 foEvent);

  std::exception_ptr FFailoverError;  // thrown by the failover hook, not yet raised
  bool FThreadSafety = true;
  uint16_t FMaxStringSize = 0;
  TOCICallStyle FCallStyle = TOCICallStyle::None;
  TOCICallStyle FCommandCallStyle = TOCICallStyle::None;
  bool FOwnsHandles = true;
  int32_t FLastError = 0;
  TConnectMode FConnectMode = TConnectMode::cmNormal;
  bool FEnableIntegers = true;
  bool FEnableNumbers = false;
  std::string FInternalName;
  std::string FVersionSt;
  bool FVersionStCached = false;
  uint16_t FVersion = 0;
  bool FVersionCached = false;
  std::string FCharset;
  uint16_t FCharsetId = 0;
  uint16_t FCharLength = 1;
  bool FAskCharLength = false;
  uint16_t FClientMaxCharBytes = 4;
  bool FUseUnicode = false;
  std::array<TNlsParam, 5> FNlsParams;
  std::unique_ptr<Lda_Def> FLDA;
  std::unique_ptr<std::array<ub1, HDA_SIZE>> FHDA;
  // Made in this order at the connect, so freed in the reverse one. The error and environment
  // handles are the process-wide ones (hOCIError, hOCIEnv): borrowed, never freed here.
  TOCIHandle<OCISvcCtx, OCI_HTYPE_SVCCTX> FSvcCtx;
  TOCIHandle<OCIServer, OCI_HTYPE_SERVER> FServerHandle;
  TOCIHandle<OCISession, OCI_HTYPE_SESSION> FSessionHandle;
  OCIError* FErrorHandle = nullptr;
  OCIEnv* FEnvHandle = nullptr;
  OCIFocbkStruct FFocbk{};
  std::recursive_timed_mutex FConnectionLock;
  std::unique_ptr<TOCICommand> FCommand;
};

// The connection lock held for one scope: waits for it on construction (BusyWait) and gives it
// back on destruction (Release). Taken around every OCI call made with the connection's handles.
class TOCIConnectionLock {
 public:
  explicit TOCIConnectionLock(TOCIConnection& connection) : FConnection(connection) {
    FConnection.BusyWait();
  }
  ~TOCIConnectionLock() { FConnection.Release(); }
  TOCIConnectionLock(const TOCIConnectionLock&) = delete;
  TOCIConnectionLock& operator=(const TOCIConnectionLock&) = delete;

 private:
  TOCIConnection& FConnection;
};

}  // namespace tarnwick
