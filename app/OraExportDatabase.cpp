#include "app/OraExportDatabase.h"

#include <utility>

namespace tarnwick {

TOraExportDatabase::TOraExportDatabase() : OraSession1("OraSession1"), SmartQuery1("SmartQuery1") {
  SmartQuery1.SetSession(&OraSession1);
}

TOraExportDatabase::~TOraExportDatabase() = default;

void TOraExportDatabase::Disconnect() {
  fieldNames_.clear();
  fields_.clear();
  OraSession1.SetConnected(false);
}

void TOraExportDatabase::SetLogin(const TConnectParts& login) {
  OraSession1.SetUsername(login.Username);
  OraSession1.SetPassword(login.Password);
  OraSession1.SetServer(login.Server);
}

void TOraExportDatabase::Connect() {
  OraSession1.SetConnected(true);
}

int TOraExportDatabase::ServerVersion() {
  if (!OraSession1.GetConnected()) return 0;
  return OraSession1.GetIConnection()->GetOracleVersion();
}

void TOraExportDatabase::SetStatement(const std::string& sql, bool uniDirectional,
                                      bool exactNumbers) {
  fieldNames_.clear();
  fields_.clear();
  SmartQuery1.SQL().Clear();
  if (SmartQuery1.UniDirectional() != uniDirectional) {
    SmartQuery1.SetUniDirectional(uniDirectional);
  }
  // The session option selects exactly the NUMBER columns of more than 15 digits; their fields
  // give every digit. The other queries keep the doubles and their texts.
  OraSession1.Options().SetEnableNumbers(exactNumbers);
  SmartQuery1.SQL().Add(sql);
}

void TOraExportDatabase::ExecSQL(const std::string& sql) {
  SetStatement(sql, false, false);
  SmartQuery1.ExecSQL();
}

void TOraExportDatabase::Open(const std::string& sql, bool uniDirectional, bool exactNumbers) {
  SetStatement(sql, uniDirectional, exactNumbers);
  SmartQuery1.Open();
}

bool TOraExportDatabase::Eof() {
  return SmartQuery1.Eof();
}

void TOraExportDatabase::Next() {
  SmartQuery1.Next();
}

void TOraExportDatabase::SetFetchRows(int rows) {
  // The query takes a new number only while it is closed; the next Open sets its statement anew
  // anyway, so the query left open by the analysis is closed here.
  if (rows == SmartQuery1.FetchRows()) return;
  fieldNames_.clear();
  fields_.clear();
  SmartQuery1.Close();
  SmartQuery1.SetFetchRows(rows);
}

std::string TOraExportDatabase::FieldText(const std::string& name) {
  return SmartQuery1.FieldByName(name)->AsString();
}

int32_t TOraExportDatabase::FieldInteger(const std::string& name) {
  return SmartQuery1.FieldByName(name)->AsInteger();
}

void TOraExportDatabase::FieldTexts(const std::vector<std::string>& names,
                                    std::vector<std::string>& values) {
  if (fields_.empty() || names != fieldNames_) {
    std::vector<TField*> fields;
    fields.reserve(names.size());
    for (const std::string& name : names) fields.push_back(SmartQuery1.FieldByName(name));
    fields_ = std::move(fields);
    fieldNames_ = names;
  }
  values.resize(names.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i]->GetText(values[i]);
}

}  // namespace tarnwick
