// Sections: construction and properties; the error path; Connect; Disconnect; version and
// session settings; lock and side calls.
#include "oracle/OCIConnection.h"

#include <cctype>
#include <cstring>
#include <system_error>

#include "base/DataTypes.h"
#include "oracle/OCICommand.h"
#include "oracle/OraError.h"

namespace tarnwick {

namespace {

const std::array<std::pair<const char*, int>, 5> kNlsParams = {{
    {"NLS_DATE_LANGUAGE", prDateLanguage},
    {"NLS_DATE_FORMAT", prDateFormat},
    {"NLS_NUMERIC_CHARACTERS", prNumericCharacters},
    {"NLS_TIMESTAMP_FORMAT", prTimeStampFormat},
    {"NLS_TIMESTAMP_TZ_FORMAT", prTimeStampTZFormat},
}};

int NlsIndex(int prop) {
  for (std::size_t i = 0; i < kNlsParams.size(); ++i)
    if (kNlsParams[i].second == prop) return static_cast<int>(i);
  return -1;
}

// A parameter of the internal command's statement, found by the command's own scan.
TParamDesc& InternalParam(TOCICommand& command, const char* name) {
  TParamDesc* p = command.FindParam(name);
  if (!p) throw EAssertionFailed(std::string("Internal parameter ") + name + " not found");
  return *p;
}

void SetOutput(TParamDesc& p, uint16_t dataType, int32_t size) {
  p.DataType = dataType;
  p.ParamType = TParamDirection::pdOutput;
  p.Size = size;
  p.Value = std::monostate{};
}

}  // namespace

std::string VersionFromBanner(const std::string& banner) {
  const auto dot = banner.find('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::size_t start = dot - 1;
  if (dot >= 2 && std::isdigit(static_cast<unsigned char>(banner[dot - 2]))) start = dot - 2;
  const auto blank = banner.find(' ', start);
  if (blank == std::string::npos) return {};
  return banner.substr(start, blank - start);
}

// ---- Construction and properties ----

TOCIConnection::TOCIConnection() {
  for (std::size_t i = 0; i < kNlsParams.size(); ++i)
    FNlsParams[i] = TNlsParam{kNlsParams[i].first, kNlsParams[i].second, {}, false};
}

TOCIConnection::~TOCIConnection() {
  OnError = nullptr;
  try {
    Disconnect();
  } catch (...) {
    // A destructor cannot report; the handles are freed by Disconnect whatever happened.
  }
  FCommand.reset();
}

TOCICommand& TOCIConnection::CheckCommand() {
  if (!FCommand) {
    auto command = std::make_unique<TOCICommand>();
    command->SetConnection(this);
    FCommand = std::move(command);
  }
  return *FCommand;
}

bool TOCIConnection::SetProp(int prop, const TPropValue& value) {
  switch (prop) {
    case prThreadSafety:
      // The C++ run-time library is always thread aware, so there is no flag of its own to set.
      FThreadSafety = PropBool(value, prop);
      break;
    case prDateFormat:
    case prDateLanguage:
    case prTimeStampFormat:
    case prTimeStampTZFormat:
    case prNumericCharacters: {
      TNlsParam& p = FNlsParams[NlsIndex(prop)];
      const std::string v = PropString(value, prop);
      if (v != p.Value) {
        p.Value = v;
        p.IsSet = !v.empty();
        if (p.IsSet) SetNlsParameter(p.Name, v);
      }
      break;
    }
    case prConnectMode:
      FConnectMode = static_cast<TConnectMode>(PropInt(value, prop));
      break;
    case prCharLength: {
      const int32_t v = PropInt(value, prop);
      if (v == FCharLength && (v == 0 || !FAskCharLength)) break;
      FCharLength = static_cast<uint16_t>(v);
      FMaxStringSize = 0;
      FAskCharLength = v == 0;
      if (v == 0) GetSessionParameters();
      break;
    }
    case prEnableIntegers:
      FEnableIntegers = PropBool(value, prop);
      break;
    case prEnableNumbers:
      FEnableNumbers = PropBool(value, prop);
      break;
    case prInternalName:
      FInternalName = PropString(value, prop);
      break;
    case prCharset: {
      const std::string v = PropString(value, prop);
      if (v == FCharset) break;
      const std::string oldCharset = FCharset;
      const uint16_t oldId = FCharsetId;
      FCharset = v;
      try {
        GetSessionParameters();
      } catch (...) {
        FCharset = oldCharset;
        FCharsetId = oldId;
        throw;
      }
      break;
    }
    case prUseUnicode:
      FUseUnicode = PropBool(value, prop);
      break;
    default:
      return TCRConnection::SetProp(prop, value);
  }
  return true;
}

bool TOCIConnection::GetProp(int prop, TPropValue& value) {
  switch (prop) {
    case prMaxStringSize:
      value = static_cast<int32_t>(GetMaxStringSize());
      break;
    case prDateFormat:
    case prDateLanguage:
    case prTimeStampFormat:
    case prTimeStampTZFormat:
    case prNumericCharacters: {
      const int i = NlsIndex(prop);
      if (FNlsParams[i].Value.empty()) GetSessionParameters();
      value = FNlsParams[i].Value;
      break;
    }
    case prCharLength:
      value = static_cast<int32_t>(FAskCharLength ? 0 : FCharLength);
      break;
    case prCharset:
      value = FCharset;
      break;
    case prUseUnicode:
      value = FUseUnicode;
      break;
    default:
      return TCRConnection::GetProp(prop, value);
  }
  return true;
}

void TOCIConnection::SetOCICallStyle(TOCICallStyle value) {
  if (value == FCallStyle) return;
  Disconnect();
  FCallStyle = value;
}

// ---- The error path ----

void TOCIConnection::OraError(TOCICallStyle callStyle, sword& status, bool useHook) {
  std::string message;
  if (callStyle == TOCICallStyle::OCI73) {
    if (status == -9) status = -1;
    OraText buffer[513];
    buffer[0] = 0;
    oerhms(FLDA.get(), static_cast<sb2>(status), buffer, 512);
    buffer[512] = 0;
    message = reinterpret_cast<const char*>(buffer);
    status = status < 0 ? -status : status;
  } else if (callStyle == TOCICallStyle::OCI80) {
    const int32_t code = GetOraError(status, message, FErrorHandle);
    FLastError = code;
    if (status == OCI_SUCCESS_WITH_INFO && code != 24344) return;
    status = code;
  } else {
    RaiseError("OCI is not inizialized");
  }
  FLastError = status;
  EOraError error(status, message);
  bool fail = true;
  if (OnError && useHook) OnError(error, fail);
  if (fail) throw error;
  throw EAbort();
}

void TOCIConnection::SetClientMaxCharBytes(uint16_t value) {
  if (value < 1 || value > 4)
    RaiseError("A character takes 1 to 4 bytes, not " + std::to_string(value));
  FClientMaxCharBytes = value;
}

void TOCIConnection::CheckOCI() {
  if (FCallStyle != TOCICallStyle::OCI73 && FCallStyle != TOCICallStyle::OCI80)
    RaiseError("OCI is not inizialized");
}
void TOCIConnection::CheckOCI73() {
  if (FCallStyle != TOCICallStyle::OCI73) RaiseError("Need Oracle 7.3 Call Interface");
}
void TOCIConnection::CheckOCI80() {
  if (FCallStyle != TOCICallStyle::OCI80) RaiseError("Need Oracle 8 Call Interface");
}

// ---- Connect ----

void TOCIConnection::FreeSessionHandles() {
  // In the reverse order of their making, as the members' destruction would free them.
  FSessionHandle.reset();
  FServerHandle.reset();
  if (FOwnsHandles)
    FSvcCtx.reset();
  else
    FSvcCtx.release();
  FErrorHandle = nullptr;
  FEnvHandle = nullptr;
}

void TOCIConnection::Connect(const std::string&) {
  if (FConnected) return;
  FVersionStCached = false;
  FVersionCached = false;
  if (!OCIInited) OCIInit();

  if (FCallStyle == TOCICallStyle::None || !PossibleOCICallStyles.Contains(FCallStyle))
    FCallStyle = OCICallStyle;
  FCommandCallStyle = FCallStyle;
  const bool oci73Possible = PossibleOCICallStyles.Contains(TOCICallStyle::OCI73);
  // Wide fields are only filled with UTF-16 when the session's character set can be set to it,
  // which needs a client without the version-7 calls; with any other client the fetched bytes
  // would be narrow text in wide buffers, so the connect is refused before anything is sent.
  if (FUseUnicode && !(PossibleOCICallStyles.Contains(TOCICallStyle::OCI80) && !oci73Possible))
    RaiseError("Unicode (UTF-16) fields are not supported");

  if (FCallStyle == TOCICallStyle::OCI80) {
    FEnvHandle = hOCIEnv;
    FErrorHandle = hOCIError;
    // A failed allocation keeps the handles already made for the next attempt.
    auto alloc = [&](auto& handle) {
      if (!handle) Check(handle.Alloc(FEnvHandle));
    };
    alloc(FSvcCtx);
    alloc(FServerHandle);
    alloc(FSessionHandle);
    try {
      Check(OCIServerAttach(FServerHandle.get(), FErrorHandle,
                            reinterpret_cast<const OraText*>(FServer.c_str()),
                            static_cast<sb4>(FServer.size()), OCI_DEFAULT));
      // Once attached, any later failure detaches again before the handles go.
      try {
        if (oci73Possible)
          Check(OCIAttrSet(FServerHandle.get(), OCI_HTYPE_SERVER, FInternalName.data(), 0,
                           OCI_ATTR_INTERNAL_NAME, FErrorHandle));
        Check(OCIAttrSet(FSvcCtx.get(), OCI_HTYPE_SVCCTX, FServerHandle.get(), 0, OCI_ATTR_SERVER,
                         FErrorHandle));
        ub4 credentials = OCI_CRED_EXT;
        if (!FUsername.empty()) {
          Check(OCIAttrSet(FSessionHandle.get(), OCI_HTYPE_SESSION, FUsername.data(),
                           static_cast<ub4>(FUsername.size()), OCI_ATTR_USERNAME, FErrorHandle));
          Check(OCIAttrSet(FSessionHandle.get(), OCI_HTYPE_SESSION, FPassword.data(),
                           static_cast<ub4>(FPassword.size()), OCI_ATTR_PASSWORD, FErrorHandle));
          credentials = OCI_CRED_RDBMS;
        }
        ub4 mode = OCI_DEFAULT;
        if (FConnectMode == TConnectMode::cmSysOper) mode = OCI_SYSOPER;
        if (FConnectMode == TConnectMode::cmSysDBA) mode = OCI_SYSDBA;
        if (PossibleOCICallStyles.Contains(TOCICallStyle::OCI80) && !oci73Possible) {
          if (FUseUnicode) {
            ub2 id = OCI_UTF16ID;
            Check(OCIAttrSet(FSvcCtx.get(), OCI_HTYPE_SVCCTX, &id, 0, OCI_ATTR_CHARSET_ID,
                             FErrorHandle));
          } else if (!FCharset.empty()) {
            Check(OCIAttrSet(FSvcCtx.get(), OCI_HTYPE_SVCCTX, FCharset.data(),
                             static_cast<ub4>(FCharset.size()), OCI_ATTR_CHARSET, FErrorHandle));
          }
        }
        Check(
            OCISessionBegin(FSvcCtx.get(), FErrorHandle, FSessionHandle.get(), credentials, mode));
        Check(OCIAttrSet(FSvcCtx.get(), OCI_HTYPE_SVCCTX, FSessionHandle.get(), 0, OCI_ATTR_SESSION,
                         FErrorHandle));
        if (oci73Possible && GetOracleVersion() < 8000) FCommandCallStyle = TOCICallStyle::OCI73;
      } catch (...) {
        // The detach's own failure replaces the first error.
        Check(OCIServerDetach(FServerHandle.get(), FErrorHandle, OCI_DEFAULT));
        throw;
      }
    } catch (...) {
      FreeSessionHandles();
      FVersionStCached = false;
      FVersionCached = false;
      throw;
    }
  } else if (FCallStyle == TOCICallStyle::OCI73) {
    if (!FLDA) FLDA = std::make_unique<Lda_Def>();
    if (!FHDA) FHDA = std::make_unique<std::array<ub1, HDA_SIZE>>();
    std::memset(FLDA.get(), 0, sizeof(Lda_Def));
    FHDA->fill(0);
    try {
      const sword status =
          olog(FLDA.get(), FHDA->data(), reinterpret_cast<OraText*>(FUsername.data()), -1,
               reinterpret_cast<OraText*>(FPassword.data()), -1,
               reinterpret_cast<OraText*>(FServer.data()), -1, OCI_LM_DEF);
      if (status != 0) {
        sword code = FLDA->rc != 0 ? FLDA->rc : status;
        OraError(TOCICallStyle::OCI73, code, true);
      }
      if (FThreadSafety && !GetThreadSafety()) SetThreadSafety(true);
    } catch (...) {
      FLDA.reset();
      FHDA.reset();
      throw;
    }
  } else {
    CheckOCI();
  }

  FConnected = true;

  if (oci73Possible && FCallStyle == TOCICallStyle::OCI80 && GetOracleVersion() >= 8000) {
    FFocbk.callback_function = &TOCIConnection::FailoverCallback;
    FFocbk.fo_ctx = this;
    Check(OCIAttrSet(FServerHandle.get(), OCI_HTYPE_SERVER, &FFocbk, 0, OCI_ATTR_FOCBK,
                     FErrorHandle));
  }
  ApplyNlsParams();
  if (!FCharset.empty() || FAskCharLength) GetSessionParameters();
}

void TOCIConnection::ApplyNlsParams() {
  for (const TNlsParam& p : FNlsParams)
    if (p.IsSet) SetNlsParameter(p.Name, p.Value);
}

sb4 TOCIConnection::FailoverCallback(void*, void*, void* foCtx, ub4 foType, ub4 foEvent) {
  auto* self = static_cast<TOCIConnection*>(foCtx);
  // Called from inside the client library: nothing may escape as an exception. The first one
  // is kept and raised by the connection once the client call that called back has returned.
  try {
    if (foEvent == OCI_FO_END) self->ApplyNlsParams();
    if (self->OnFailover) {
      bool retry = false;
      self->OnFailover(foEvent, foType, retry);
      return retry ? OCI_FO_RETRY : 0;
    }
  } catch (...) {
    if (!self->FFailoverError) self->FFailoverError = std::current_exception();
  }
  return 0;
}

// ---- Disconnect ----

void TOCIConnection::Disconnect() {
  if (!FConnected) return;
  // Marked disconnected first: an error hook that disconnects the session on a fatal error
  // re-enters here and must find nothing left to do.
  FConnected = false;
  std::exception_ptr failure;
  auto attempt = [&](sword status) {
    if (status == OCI_SUCCESS || failure) return;
    try {
      Check(status);
    } catch (...) {
      failure = std::current_exception();
    }
  };
  if (FCallStyle == TOCICallStyle::OCI80) {
    if (FOwnsHandles) {
      attempt(OCISessionEnd(FSvcCtx.get(), FErrorHandle, FSessionHandle.get(), OCI_DEFAULT));
      attempt(OCIServerDetach(FServerHandle.get(), FErrorHandle, OCI_DEFAULT));
    }
    FreeSessionHandles();
    if (FOwnsHandles) FLDA.reset();
  } else if (FCallStyle == TOCICallStyle::OCI73) {
    if (FOwnsHandles && FLDA) {
      const sword status = ologof(FLDA.get());
      if (status != 0) {
        sword code = FLDA->rc != 0 ? FLDA->rc : status;
        try {
          OraError(TOCICallStyle::OCI73, code, true);
        } catch (...) {
          failure = std::current_exception();
        }
      }
    }
    FHDA.reset();
    if (FOwnsHandles) FLDA.reset();
  }
  FVersionStCached = false;
  FVersionCached = false;
  FVersionSt.clear();
  FVersion = 0;
  FMaxStringSize = 0;
  FCharsetId = 0;
  if (FAskCharLength) FCharLength = 0;
  for (TNlsParam& p : FNlsParams)
    if (!p.IsSet) p.Value.clear();
  if (failure) std::rethrow_exception(failure);
}

void TOCIConnection::Commit() {
  if (!FConnected) return;
  TOCIConnectionLock lock(*this);
  if (FCallStyle == TOCICallStyle::OCI73) {
    if (ocom(FLDA.get()) != 0) {
      sword code = FLDA->rc;
      OraError(TOCICallStyle::OCI73, code, true);
    }
  } else {
    Check(OCITransCommit(FSvcCtx.get(), FErrorHandle, OCI_DEFAULT));
  }
}

void TOCIConnection::Rollback() {
  if (!FConnected) return;
  if (FCallStyle == TOCICallStyle::OCI73) {
    if (orol(FLDA.get()) != 0) {
      sword code = FLDA->rc;
      OraError(TOCICallStyle::OCI73, code, true);
    }
  } else {
    Check(OCITransRollback(FSvcCtx.get(), FErrorHandle, OCI_DEFAULT));
  }
}

void TOCIConnection::CheckIsValid() {
  try {
    Commit();
    FIsValid = true;
  } catch (const Exception&) {
    FIsValid = false;
  }
}

// ---- Version and session settings ----

std::string TOCIConnection::GetOracleVersionSt() {
  if (OCILite) return OCIVersionSt + " Lite";
  if (FVersionStCached) return FVersionSt;
  std::string version;
  if (FCallStyle == TOCICallStyle::OCI80 && PossibleOCICallStyles.Contains(TOCICallStyle::OCI73)) {
    OraText buffer[255];
    buffer[0] = 0;
    OCIServerVersion(FSvcCtx.get(), FErrorHandle, buffer, sizeof buffer, OCI_HTYPE_SVCCTX);
    buffer[sizeof buffer - 1] = 0;
    version = VersionFromBanner(reinterpret_cast<const char*>(buffer));
  } else {
    TOCICommand& command = CheckCommand();
    command.SetSQL(
        "begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE "
        "Upper(Product) LIKE '%ORACLE%'; end;");
    TParamDesc& result = InternalParam(command, "Result");
    SetOutput(result, dcString, 65);
    try {
      command.Execute(1);
      if (const auto* text = std::get_if<std::string>(&result.Value)) version = *text;
    } catch (const EOraError& e) {
      if (e.ErrorCode() != 6550) throw;
    }
  }
  FVersionSt = version;
  FVersionStCached = true;
  return FVersionSt;
}

uint16_t TOCIConnection::GetOracleVersion() {
  if (!FVersionCached) {
    FVersion = VersionStrToWord(GetOracleVersionSt());
    FVersionCached = true;
  }
  return FVersion;
}

uint16_t TOCIConnection::GetMaxStringSize() {
  if (FConnected && FMaxStringSize == 0) {
    FMaxStringSize = 2000;
    if (FCallStyle == TOCICallStyle::OCI80 && GetOracleVersion() / 1000 != 7) FMaxStringSize = 4000;
  }
  return FMaxStringSize;
}

void TOCIConnection::SetNlsParameter(const std::string& name, const std::string& value) {
  if (!FConnected) return;
  // A quote inside the value is doubled so that the value stays one literal.
  std::string literal;
  for (char c : value) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  const std::string sql = "ALTER SESSION SET " + name + "=" + "'" + literal + "'";
  TOCICommand& command = CheckCommand();
  if (command.GetActive()) {
    // A failover that ends inside one of the internal command's own calls applies the settings
    // again from the client's callback: they run on a command of their own, so that the
    // interrupted statement keeps its text and the buffers the client writes into.
    TOCICommand nested;
    nested.SetConnection(this);
    nested.SetSQL(sql);
    nested.Execute(1);
    return;
  }
  command.SetSQL(sql);
  command.Execute(1);
}

void TOCIConnection::GetSessionParameters() {
  if (!FConnected || OCILite) return;
  const bool v8 = GetOracleVersion() >= 8000;
  std::string sql =
      "declare  cursor NlsParamsCursor is    SELECT * FROM nls_session_parameters;begin  "
      "SELECT Nvl(Lengthb(Chr(65536)), Nvl(Lengthb(Chr(65536)), 1))    INTO :CharLength FROM "
      "dual;  for NlsRecord in NlsParamsCursor loop    if NlsRecord.parameter = "
      "'NLS_DATE_LANGUAGE' then      :NlsDateLanguage := NlsRecord.value;    elsif "
      "NlsRecord.parameter = 'NLS_DATE_FORMAT' then      :NlsDateFormat := NlsRecord.value;    "
      "elsif NlsRecord.parameter = 'NLS_NUMERIC_CHARACTERS' then      :NlsNumericCharacters := "
      "NlsRecord.value;";
  if (v8)
    sql +=
        "    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_FORMAT' then      :NlsTimeStampFormat := "
        "NlsRecord.value;    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_TZ_FORMAT' then      "
        ":NlsTimeStampTZFormat := NlsRecord.value;";
  sql += "    end if;  end loop;";
  const bool withCharset = !FCharset.empty() && v8;
  if (withCharset) sql += "  SELECT NLS_CHARSET_ID(:Charset) INTO :CharsetId FROM dual;";
  sql += "end;";

  TOCICommand& command = CheckCommand();
  command.SetSQL(sql);
  // Output names in the order of NlsParams.
  const char* nlsNames[] = {"NlsDateLanguage", "NlsDateFormat", "NlsNumericCharacters",
                            "NlsTimeStampFormat", "NlsTimeStampTZFormat"};
  const int nlsCount = v8 ? 5 : 3;
  SetOutput(InternalParam(command, "CharLength"), dcInteger, 0);
  for (int i = 0; i < nlsCount; ++i) SetOutput(InternalParam(command, nlsNames[i]), dcString, 41);
  if (withCharset) {
    TParamDesc& charset = InternalParam(command, "Charset");
    charset.DataType = dcString;
    charset.ParamType = TParamDirection::pdInput;
    charset.Size = 41;
    charset.Value = FCharset;
    SetOutput(InternalParam(command, "CharsetId"), dcInteger, 0);
  }
  bool ran = true;
  try {
    command.Execute(1);
  } catch (const EAbort&) {
    throw;
  } catch (const Exception&) {
    ran = false;  // errors of the execution are ignored; the values stay as they were
  }
  if (!ran) {
    if (FAskCharLength) FCharLength = 1;
    if (withCharset) RaiseError("Cannot find charset " + FCharset);
    return;
  }
  if (FAskCharLength) {
    const auto* length = std::get_if<int32_t>(&InternalParam(command, "CharLength").Value);
    FCharLength = length ? static_cast<uint16_t>(*length) : 1;
  }
  for (int i = 0; i < nlsCount; ++i) {
    const auto* text = std::get_if<std::string>(&InternalParam(command, nlsNames[i]).Value);
    FNlsParams[i].Value = text ? *text : std::string();
  }
  if (withCharset) {
    const auto* id = std::get_if<int32_t>(&InternalParam(command, "CharsetId").Value);
    if (!id) RaiseError("Cannot find charset " + FCharset);
    FCharsetId = static_cast<uint16_t>(*id);
  }
}

// ---- Lock and side calls ----

void TOCIConnection::BusyWait() {
  if (!FThreadSafety) return;
  try {
    FConnectionLock.lock();
  } catch (const std::system_error& e) {
    throw EAssertionFailed(std::string("Connection lock failed: ") + e.what());
  }
}

void TOCIConnection::Release() {
  if (FThreadSafety) FConnectionLock.unlock();
}

void TOCIConnection::Busy() {
  if (!FConnectionLock.try_lock()) RaiseOraError(-3127, "ORA-03127a");
  FConnectionLock.unlock();
}

void TOCIConnection::BreakExec() {
  if (!FConnected) return;
  if (FCallStyle == TOCICallStyle::OCI73) {
    obreak(FLDA.get());
  } else {
    Check(OCIBreak(FSvcCtx.get(), FErrorHandle));
  }
}

void TOCIConnection::ChangePassword(const std::string&) {
  RaiseError("Changing the password is not supported");
}

void TOCIConnection::SetNonBlocking(bool) {
  RaiseError("Non-blocking execution is not supported");
}

Lda_Def* TOCIConnection::GetLDA() {
  if (FCallStyle == TOCICallStyle::OCI80 && FConnected) {
    if (!FLDA) FLDA = std::make_unique<Lda_Def>();
    Check(OCISvcCtxToLda(FSvcCtx.get(), FErrorHandle, FLDA.get()));
  }
  return FLDA.get();
}

void TOCIConnection::SetSvcCtx(OCISvcCtx*) {
  RaiseError("Sharing the handles of another connection is not supported");
}

void TOCIConnection::SetLDA(Lda_Def*) {
  RaiseError("Sharing the handles of another connection is not supported");
}

}  // namespace tarnwick
