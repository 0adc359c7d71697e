#pragma once
// The session component: user name, password, server and options of one Oracle session, the
// low-level connection it makes on its first connect and keeps, its events, the datasets that
// registered with it, and the process-wide list of sessions.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "oracle/OCIConnection.h"

namespace tarnwick {

class TOraSession;

enum class TOracleHome : int {
  ohDefault = 0,
  ohHome0,
  ohHome1,
  ohHome2,
  ohHome3,
  ohHome4,
  ohHome5
};
enum class TFailoverState { fsEnd, fsAbort, fsReauth, fsBegin, fsError };
enum class TFailoverType { ftNone, ftSession, ftQuery, ftTransaction };

struct TPoolingOptions {
  int MaxPoolSize = 100;
  int MinPoolSize = 0;
  int ConnectionLifetime = 0;
};

// The options of a session. Each setter hands its value to the connection at once when the
// connection object exists.
class TOraSessionOptions {
 public:
  explicit TOraSessionOptions(TOraSession& owner) : FOwner(owner) {}

  int CharLength() const { return FCharLength; }
  void SetCharLength(int value);  // 0..6; 0 asks the server
  const std::string& Charset() const { return FCharset; }
  void SetCharset(const std::string& value);
  bool UseUnicode() const { return FUseUnicode; }
  // UTF-16 fields need a client that takes the UTF-16 character set for the session, which no
  // client this build loads does: true raises.
  void SetUseUnicode(bool value);
  bool ConvertEOL() const { return FConvertEOL; }
  void SetConvertEOL(bool value);
  std::string DateFormat() const;
  void SetDateFormat(const std::string& value);
  std::string DateLanguage() const;
  void SetDateLanguage(const std::string& value);
  bool EnableIntegers() const { return FEnableIntegers; }
  void SetEnableIntegers(bool value);
  bool EnableNumbers() const { return FEnableNumbers; }
  void SetEnableNumbers(bool value);
  // Governs a Connected value read from a stored form; this build reads no forms: true raises.
  bool NeverConnect() const { return false; }
  void SetNeverConnect(bool value);
  bool UseOCI7() const { return FUseOCI7; }
  void SetUseOCI7(bool value);
  bool Net() const { return FNet; }
  void SetNet(bool value);  // the direct network transport is not available

 private:
  friend class TOraSession;
  TOraSession& FOwner;
  int FCharLength = 1;
  std::string FCharset;
  bool FUseUnicode = false;
  bool FConvertEOL = false;
  std::string FDateFormat;
  std::string FDateLanguage;
  bool FEnableIntegers = true;
  bool FEnableNumbers = false;
  bool FUseOCI7 = false;
  bool FNet = false;
};

// What a dataset or statement component registers with its session.
struct TSessionClient {
  // The connect event: false when the session is about to disconnect, true after it connected.
  std::function<void(bool connected)> ConnectChange;
  // The session's low-level connection for the client's command or record set.
  std::function<void(TOCIConnection* connection)> SetConnection;
  // The integer and number mapping changed: field definitions are out of date.
  std::function<void()> FieldDefsChanged;
};

// All sessions of the process.
class TSessionList {
 public:
  void Add(TOraSession* s);
  void Remove(TOraSession* s);
  std::vector<TOraSession*> Snapshot() const;
  int Count() const;

 private:
  mutable std::mutex FLock;
  std::vector<TOraSession*> FItems;
};

extern TSessionList Sessions;
extern TOraSession* DefSession;
extern bool UseDefSession;
TOraSession* DefaultSession();
TOraSession* SessionByName(const std::string& name);

class TOraSession {
 public:
  using TNotifyEvent = std::function<void(TOraSession& sender)>;
  using TConnectChangeEvent = std::function<void(TOraSession& sender, bool connected)>;
  using TDAConnectionErrorEvent = std::function<void(TOraSession& sender, EDAError& e, bool& fail)>;
  using TFailoverEvent = std::function<void(TOraSession& sender, TFailoverState state,
                                            TFailoverType type, bool& retry)>;
  using TLoginEvent = std::function<void(TOraSession& sender, const std::string& username,
                                         const std::string& password)>;

  explicit TOraSession(std::string name = {});
  virtual ~TOraSession();
  TOraSession(const TOraSession&) = delete;
  TOraSession& operator=(const TOraSession&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }

  void Connect() { SetConnected(true); }
  void Disconnect() { SetConnected(false); }
  bool GetConnected() const;
  virtual void SetConnected(bool value);

  const std::string& Username() const { return FUsername; }
  const std::string& Password() const { return FPassword; }
  const std::string& Server() const { return FServer; }
  void SetUsername(const std::string& value);
  void SetPassword(const std::string& value);
  void SetServer(const std::string& value);
  virtual std::string GetConnectString() const;
  virtual void SetConnectString(const std::string& value);

  bool AutoCommit() const { return FAutoCommit; }
  void SetAutoCommit(bool value);
  // The login prompt flag. This build has no login dialog, so connecting always uses the user
  // name, password and server as set; the flag keeps its default, and false raises.
  bool ConnectPrompt() const { return true; }
  void SetConnectPrompt(bool value);
  bool ThreadSafety() const { return FThreadSafety; }
  void SetThreadSafety(bool value);
  TConnectMode ConnectMode() const { return FConnectMode; }
  void SetConnectMode(TConnectMode value);
  bool Debug() const { return false; }
  void SetDebug(bool value);  // SQL monitoring is not available
  bool Pooling() const { return false; }
  void SetPooling(bool value);  // connection pooling is not available
  TPoolingOptions& PoolingOptions() { return FPoolingOptions; }
  TOraSessionOptions& Options() { return *FOptions; }
  TOracleHome Home();
  void SetHome(TOracleHome value);
  const std::string& HomeName() const { return FHomeName; }
  virtual void SetHomeName(const std::string& name);

  void Commit();
  void Rollback();
  bool InTransaction() const { return !FTransactionId.empty(); }
  std::string GetOracleVersion();
  int32_t GetLastError() const;

  // Datasets and statement components register here; they are told of connects and
  // disconnects and given the low-level connection.
  void RegisterClient(const void* client, TSessionClient events);
  void UnRegisterClient(const void* client);
  int GetDataSetCount() const { return static_cast<int>(FClients.size()); }

  TOCIConnection* GetIConnection() const { return FIConnection.get(); }
  TOCICallStyle CallStyle() const { return FCallStyle; }

  virtual bool IsFatalError(const EDAError& e) const;
  // The error hook installed on the connection: a fatal error disconnects the session before
  // OnError is called and the error propagates.
  virtual void DoError(EDAError& e, bool& fail);

  TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
  TConnectChangeEvent OnConnectChange;
  TDAConnectionErrorEvent OnError;
  TFailoverEvent OnFailover;
  TLoginEvent OnLogin;  // never raised by the connect path

 protected:
  virtual void PerformConnect();
  virtual void DoConnect();
  virtual void DoDisconnect();
  virtual void CreateIConnection();
  virtual void SetIConnection(std::unique_ptr<TOCIConnection> connection);
  void NotifyClients(bool connected);

 private:
  friend class TOraSessionOptions;
  void DoFailover(ub4 foEvent, ub4 foType, bool& retry);

  std::string FName;
  std::unique_ptr<TOraSessionOptions> FOptions;
  std::string FUsername, FPassword, FServer;
  bool FAutoCommit = true;
  bool FThreadSafety = true;
  TConnectMode FConnectMode = TConnectMode::cmNormal;
  TPoolingOptions FPoolingOptions;
  std::string FHomeName;
  TOCICallStyle FCallStyle = TOCICallStyle::None;
  std::string FTransactionId;
  std::unique_ptr<TOCIConnection> FIConnection;
  std::vector<std::pair<const void*, TSessionClient>> FClients;
  bool FInDoError = false;
  bool FDestroying = false;
};

}  // namespace tarnwick
