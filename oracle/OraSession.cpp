// Sections: the session list; options; construction; connect and disconnect; the connection
// object; home; errors and failover.
#include "oracle/OraSession.h"

#include <algorithm>
#include <cctype>

#include "oracle/OraError.h"

namespace tarnwick {

// ---- The session list ----

TSessionList Sessions;
TOraSession* DefSession = nullptr;
bool UseDefSession = true;

void TSessionList::Add(TOraSession* s) {
  std::lock_guard<std::mutex> lock(FLock);
  FItems.push_back(s);
}

void TSessionList::Remove(TOraSession* s) {
  std::lock_guard<std::mutex> lock(FLock);
  FItems.erase(std::remove(FItems.begin(), FItems.end(), s), FItems.end());
}

std::vector<TOraSession*> TSessionList::Snapshot() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FItems;
}

int TSessionList::Count() const {
  std::lock_guard<std::mutex> lock(FLock);
  return static_cast<int>(FItems.size());
}

TOraSession* DefaultSession() {
  return DefSession;
}

TOraSession* SessionByName(const std::string& name) {
  auto equal = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  };
  TOraSession* found = nullptr;
  for (TOraSession* s : Sessions.Snapshot())
    if (equal(s->Name(), name)) found = s;
  return found;
}

// ---- Options ----

void TOraSessionOptions::SetCharLength(int value) {
  if (value < 0 || value > 6) RaiseError("CharLength must be 0..6");
  FCharLength = value;
  if (auto* c = FOwner.GetIConnection()) c->SetProp(prCharLength, static_cast<int32_t>(value));
}

void TOraSessionOptions::SetCharset(const std::string& value) {
  const std::string old = FCharset;
  FCharset = value;
  if (auto* c = FOwner.GetIConnection()) {
    try {
      c->SetProp(prCharset, value);
    } catch (...) {
      FCharset = old;
      throw;
    }
  }
}

void TOraSessionOptions::SetUseUnicode(bool value) {
  if (value) RaiseError("Unicode (UTF-16) fields are not supported");
  FUseUnicode = false;
  if (auto* c = FOwner.GetIConnection()) c->SetProp(prUseUnicode, false);
}

void TOraSessionOptions::SetConvertEOL(bool value) {
  FConvertEOL = value;
  if (auto* c = FOwner.GetIConnection()) c->SetProp(prConvertEOL, value);
}

std::string TOraSessionOptions::DateFormat() const {
  if (auto* c = FOwner.GetIConnection()) {
    TPropValue v;
    c->GetProp(prDateFormat, v);
    return PropString(v, prDateFormat);
  }
  return FDateFormat;
}

void TOraSessionOptions::SetDateFormat(const std::string& value) {
  FDateFormat = value;
  if (auto* c = FOwner.GetIConnection()) c->SetProp(prDateFormat, value);
}

std::string TOraSessionOptions::DateLanguage() const {
  if (auto* c = FOwner.GetIConnection()) {
    TPropValue v;
    c->GetProp(prDateLanguage, v);
    return PropString(v, prDateLanguage);
  }
  return FDateLanguage;
}

void TOraSessionOptions::SetDateLanguage(const std::string& value) {
  FDateLanguage = value;
  if (auto* c = FOwner.GetIConnection()) c->SetProp(prDateLanguage, value);
}

void TOraSessionOptions::SetEnableIntegers(bool value) {
  if (value == FEnableIntegers) return;
  FEnableIntegers = value;
  if (auto* c = FOwner.GetIConnection()) c->SetProp(prEnableIntegers, value);
  for (auto& [client, events] : FOwner.FClients)
    if (events.FieldDefsChanged) events.FieldDefsChanged();
}

void TOraSessionOptions::SetEnableNumbers(bool value) {
  if (value == FEnableNumbers) return;
  FEnableNumbers = value;
  if (auto* c = FOwner.GetIConnection()) c->SetProp(prEnableNumbers, value);
  for (auto& [client, events] : FOwner.FClients)
    if (events.FieldDefsChanged) events.FieldDefsChanged();
}

void TOraSessionOptions::SetUseOCI7(bool value) {
  if (value == FUseOCI7) return;
  FOwner.Disconnect();
  FUseOCI7 = value;
  FOwner.FCallStyle = value ? TOCICallStyle::OCI73 : OCICallStyle;
  if (auto* c = FOwner.GetIConnection()) c->SetOCICallStyle(FOwner.FCallStyle);
}

void TOraSessionOptions::SetNeverConnect(bool value) {
  if (value) RaiseError("The option NeverConnect is not supported: no session is read from a form");
}

void TOraSessionOptions::SetNet(bool value) {
  if (value) RaiseError("The direct network transport is not supported");
  FNet = false;
}

// ---- Construction ----

TOraSession::TOraSession(std::string name)
    : FName(std::move(name)), FOptions(std::make_unique<TOraSessionOptions>(*this)) {
  if (!DefSession) DefSession = this;
  const auto others = Sessions.Snapshot();
  if (!others.empty()) {
    FHomeName = others.front()->FHomeName;
    FOptions->FNet = others.front()->FOptions->FNet;
  }
  Sessions.Add(this);
}

TOraSession::~TOraSession() {
  FDestroying = true;
  try {
    Disconnect();
  } catch (...) {
    // A destructor cannot pass the error on; the clean-up below runs whatever happened.
  }
  for (auto& [client, events] : FClients)
    if (events.SetConnection) events.SetConnection(nullptr);
  FClients.clear();
  FIConnection.reset();
  Sessions.Remove(this);
  if (DefSession == this) {
    const auto rest = Sessions.Snapshot();
    DefSession = rest.empty() ? nullptr : rest.front();
  }
}

// ---- Connect and disconnect ----

bool TOraSession::GetConnected() const {
  return FIConnection && FIConnection->GetConnected();
}

void TOraSession::NotifyClients(bool connected) {
  const auto clients = FClients;
  for (auto& [client, events] : clients)
    if (events.ConnectChange) events.ConnectChange(connected);
}

void TOraSession::SetConnected(bool value) {
  if (value == GetConnected()) return;
  if (!value) {
    // A lost connection may make a client fail while it closes; it is told again, a bounded
    // number of times so that a client that always fails cannot hold the disconnect forever.
    for (int attempt = 1;; ++attempt) {
      try {
        NotifyClients(false);
        break;
      } catch (const EDAError& e) {
        if (!IsFatalError(e) || attempt == 3) throw;
      }
    }
    if (BeforeDisconnect) BeforeDisconnect(*this);
    NotifyClients(false);
    DoDisconnect();
    if (AfterDisconnect) AfterDisconnect(*this);
  } else {
    // No connect dialog class is installed in this program, so the prompt never shows and the
    // session connects with the user name, password and server as set.
    PerformConnect();
  }
}

void TOraSession::PerformConnect() {
  if (GetConnected()) return;
  if (BeforeConnect) BeforeConnect(*this);
  DoConnect();
  NotifyClients(true);
  if (AfterConnect) AfterConnect(*this);
}

void TOraSession::DoConnect() {
  if (!FOptions->Net()) SetHomeName(FHomeName);
  CreateIConnection();
  FIConnection->SetUsername(FUsername);
  FIConnection->SetPassword(FPassword);
  FIConnection->SetServer(FServer);
  FIConnection->Connect("");
  if (OnConnectChange) OnConnectChange(*this, true);
}

void TOraSession::DoDisconnect() {
  try {
    if (InTransaction()) Commit();
  } catch (...) {
    if (FIConnection) {
      try {
        FIConnection->Disconnect();
      } catch (...) {
      }
    }
    throw;
  }
  if (FIConnection) {
    try {
      FIConnection->Disconnect();
    } catch (const EDAError& e) {
      if (!(FDestroying && IsFatalError(e))) throw;
    }
  }
  if (OnConnectChange) OnConnectChange(*this, false);
}

void TOraSession::SetUsername(const std::string& value) {
  if (value == FUsername) return;
  Disconnect();
  FUsername = value;
}

void TOraSession::SetPassword(const std::string& value) {
  if (value == FPassword) return;
  Disconnect();
  FPassword = value;
}

void TOraSession::SetServer(const std::string& value) {
  if (value == FServer) return;
  Disconnect();
  FServer = value;
}

std::string TOraSession::GetConnectString() const {
  std::string s = FUsername;
  if (!FPassword.empty()) s += "/" + FPassword;
  if (!FServer.empty()) s += "@" + FServer;
  return s;
}

void TOraSession::SetConnectString(const std::string& value) {
  if (value == GetConnectString()) return;
  Disconnect();
  const auto s = value.find('/');
  const auto a = value.find('@');
  std::string user = s == std::string::npos ? std::string() : value.substr(0, s);
  std::string password, server;
  if (a == std::string::npos) {
    if (s != std::string::npos)
      password = value.substr(s + 1);
    else
      user = value;
  } else {
    if (s != std::string::npos && s < a)
      password = value.substr(s + 1, a - s - 1);
    else if (s == std::string::npos)
      user = value.substr(0, a);
    server = value.substr(a + 1);
  }
  FUsername = user;
  FPassword = password;
  FServer = server;
}

void TOraSession::SetAutoCommit(bool value) {
  FAutoCommit = value;
  if (FIConnection && FTransactionId.empty()) FIConnection->SetProp(prAutoCommit, value);
}

void TOraSession::SetConnectPrompt(bool value) {
  if (!value)
    RaiseError(
        "The option ConnectPrompt = False is not supported: there is no login dialog, every "
        "connect uses the user name, password and server as set");
}

void TOraSession::SetThreadSafety(bool value) {
  FThreadSafety = value;
  if (FIConnection) FIConnection->SetProp(prThreadSafety, value);
}

void TOraSession::SetConnectMode(TConnectMode value) {
  FConnectMode = value;
  if (FIConnection) FIConnection->SetProp(prConnectMode, static_cast<int32_t>(value));
}

void TOraSession::SetDebug(bool value) {
  if (value) RaiseError("SQL monitoring is not supported");
}

void TOraSession::SetPooling(bool value) {
  if (value) RaiseError("Connection pooling is not supported");
}

void TOraSession::Commit() {
  if (!GetConnected()) throw EDatabaseError(LoadResString(Daconsts::SConnectionIsClosed));
  FIConnection->Commit();
  FTransactionId.clear();
  FIConnection->SetProp(prAutoCommit, FAutoCommit);
}

void TOraSession::Rollback() {
  if (!GetConnected()) throw EDatabaseError(LoadResString(Daconsts::SConnectionIsClosed));
  FIConnection->Rollback();
  FTransactionId.clear();
  FIConnection->SetProp(prAutoCommit, FAutoCommit);
}

std::string TOraSession::GetOracleVersion() {
  if (!GetConnected()) throw EDatabaseError(LoadResString(Daconsts::SConnectionIsClosed));
  return FIConnection->GetOracleVersionSt();
}

int32_t TOraSession::GetLastError() const {
  return FIConnection ? FIConnection->GetLastError() : 0;
}

void TOraSession::RegisterClient(const void* client, TSessionClient events) {
  UnRegisterClient(client);
  if (FIConnection && events.SetConnection) events.SetConnection(FIConnection.get());
  FClients.emplace_back(client, std::move(events));
}

void TOraSession::UnRegisterClient(const void* client) {
  FClients.erase(std::remove_if(FClients.begin(), FClients.end(),
                                [&](const auto& c) { return c.first == client; }),
                 FClients.end());
}

// ---- The connection object ----

void TOraSession::CreateIConnection() {
  if (FIConnection) return;
  SetIConnection(std::make_unique<TOCIConnection>());
}

void TOraSession::SetIConnection(std::unique_ptr<TOCIConnection> connection) {
  FIConnection = std::move(connection);
  TOCIConnection* c = FIConnection.get();
  if (!c) return;
  c->SetProp(prAutoCommit, FAutoCommit);
  c->SetProp(prConvertEOL, FOptions->FConvertEOL);
  c->OnError = [this](EDAError& e, bool& fail) { DoError(e, fail); };
  for (auto& [client, events] : FClients)
    if (events.SetConnection) events.SetConnection(c);
  c->SetProp(prConnectMode, static_cast<int32_t>(FConnectMode));
  c->SetProp(prThreadSafety, FThreadSafety);
  c->SetProp(prInternalName, std::string());
  if (c->GetConnected())
    FCallStyle = c->GetOCICallStyle();
  else
    c->SetOCICallStyle(FCallStyle);
  c->SetProp(prCharLength, static_cast<int32_t>(FOptions->FCharLength));
  c->SetProp(prCharset, FOptions->FCharset);
  c->SetProp(prUseUnicode, FOptions->FUseUnicode);
  c->SetProp(prDateFormat, FOptions->FDateFormat);
  c->SetProp(prDateLanguage, FOptions->FDateLanguage);
  c->SetProp(prEnableIntegers, FOptions->FEnableIntegers);
  c->SetProp(prEnableNumbers, FOptions->FEnableNumbers);
  c->OnFailover = [this](ub4 foEvent, ub4 foType, bool& retry) {
    DoFailover(foEvent, foType, retry);
  };
}

// ---- Home ----

void TOraSession::SetHomeName(const std::string& name) {
  if (name != OracleHomeName) {
    Disconnect();
    for (TOraSession* s : Sessions.Snapshot()) {
      try {
        s->Disconnect();
      } catch (...) {
      }
    }
    if (!FOptions->Net()) FreeOCI();
    OracleHomeName = name;
    for (TOraSession* s : Sessions.Snapshot()) s->FHomeName = name;
    FCallStyle = FOptions->UseOCI7() ? TOCICallStyle::OCI73 : TOCICallStyle::None;
  }
  FHomeName = name;
}

TOracleHome TOraSession::Home() {
  if (!OCIInited) DetectOCI();
  for (int i = 0; i < OracleHomeCount && i < 6; ++i) {
    const std::string& n = OracleHomeNames[i];
    if (n.size() == OracleHomeName.size() &&
        std::equal(n.begin(), n.end(), OracleHomeName.begin(), [](char x, char y) {
          return std::tolower(static_cast<unsigned char>(x)) ==
                 std::tolower(static_cast<unsigned char>(y));
        }))
      return static_cast<TOracleHome>(i + 1);
  }
  return TOracleHome::ohDefault;
}

void TOraSession::SetHome(TOracleHome value) {
  if (!OCIInited) DetectOCI();
  if (value == TOracleHome::ohDefault) {
    SetHomeName(std::string());
    return;
  }
  const int index = static_cast<int>(value) - 1;
  if (index < OracleHomeCount) SetHomeName(OracleHomeNames[index]);
}

// ---- Errors and failover ----

bool TOraSession::IsFatalError(const EDAError& e) const {
  switch (e.ErrorCode()) {
    case 28:
    case 1012:
    case 3113:
    case 3114:
    case 12203:
    case 12571:
      return true;
    default:
      return false;
  }
}

void TOraSession::DoError(EDAError& e, bool& fail) {
  if (!FInDoError && IsFatalError(e)) {
    FInDoError = true;
    try {
      Disconnect();
    } catch (...) {
    }
    FInDoError = false;
  }
  if (OnError) OnError(*this, e, fail);
}

void TOraSession::DoFailover(ub4 foEvent, ub4 foType, bool& retry) {
  if (!OnFailover) return;
  TFailoverState state = TFailoverState::fsError;
  switch (foEvent) {
    case OCI_FO_END:
      state = TFailoverState::fsEnd;
      break;
    case OCI_FO_ABORT:
      state = TFailoverState::fsAbort;
      break;
    case OCI_FO_REAUTH:
      state = TFailoverState::fsReauth;
      break;
    case OCI_FO_BEGIN:
      state = TFailoverState::fsBegin;
      break;
    default:
      state = TFailoverState::fsError;
      break;
  }
  TFailoverType type = TFailoverType::ftNone;
  switch (foType) {
    case OCI_FO_SESSION:
      type = TFailoverType::ftSession;
      break;
    case OCI_FO_SELECT:
      type = TFailoverType::ftQuery;
      break;
    case OCI_FO_TXNAL:
      type = TFailoverType::ftTransaction;
      break;
    default:
      type = TFailoverType::ftNone;
      break;
  }
  OnFailover(*this, state, type, retry);
}

}  // namespace tarnwick
