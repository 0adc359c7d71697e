#pragma once
// What the tests of the export's actions run them against: a view that records everything shown
// and answers questions from a script, a database of scripted result sets, and a reader of the
// DBF files written.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "app/ExportDatabase.h"
#include "app/ExportView.h"
#include "base/Exception.h"
#include "dataset/text/FieldText.h"
#include "oracle/Oracall.h"
#include "testsupport/core/DbfTable.h"
#include "testsupport/core/ScratchDir.h"

namespace tarnwick::export_test {

// ---- view --------------------------------------------------------------------------------------

// Every call as one line of text: "memo: <line>", "clear memo", "status: <text>", "clear list",
// "clear text", "table: <name>", "import: on|off", "gauge: <n>", "message: <text>",
// "question: <caption> | <text>". A question without a scripted answer raises
// std::logic_error, so no test passes on an answer nobody chose.
class TRecordingView : public IExportView {
 public:
  void ClearMemo() override {
    Record("clear memo");
    memo.clear();
  }
  void AddMemoLine(const std::string& line) override {
    Record("memo: " + line);
    memo.push_back(line);
  }
  void SetStatusText(const std::string& text) override {
    Record("status: " + text);
    status = text;
  }
  void ClearTableList() override {
    Record("clear list");
    tables.clear();
  }
  void ClearTableText() override { Record("clear text"); }
  void AddTable(const std::string& name) override {
    Record("table: " + name);
    tables.push_back(name);
  }
  void SetImportEnabled(bool enabled) override {
    Record(enabled ? "import: on" : "import: off");
    importEnabled = enabled;
  }
  void SetGauge(int position) override {
    Record("gauge: " + std::to_string(position));
    gauge.push_back(position);
  }
  void ShowMessage(const std::string& text) override {
    Record("message: " + text);
    messages.push_back(text);
  }
  bool AskYesNo(const std::string& caption, const std::string& text) override {
    Record("question: " + caption + " | " + text);
    if (answers.empty()) throw std::logic_error("No scripted answer for the question: " + text);
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  // The calls that start with `prefix`, without it.
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
      if (call.rfind(prefix, 0) == 0) found.push_back(call.substr(prefix.size()));
    }
    return found;
  }

  std::vector<std::string> calls;
  std::vector<std::string> memo;
  std::vector<std::string> tables;
  std::vector<std::string> messages;
  std::vector<int> gauge;
  std::string status;
  bool importEnabled = false;
  std::deque<bool> answers;

 private:
  void Record(std::string call) { calls.push_back(std::move(call)); }
};

// ---- database ----------------------------------------------------------------------------------

// A field value as the record set delivers it: NULL, text, a whole number (NUMBER(1..9)), a
// float (other NUMBERs) or a date.
struct TDate {
  TDateTime value;
};
using TValue = std::variant<std::monostate, std::string, int32_t, double, TDate>;

// The text of a value, made when it is read, under the format settings in force then.
inline std::string ValueText(const TValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return StringFieldText(*text);
  if (const auto* number = std::get_if<int32_t>(&value)) return IntegerFieldText(*number);
  if (const auto* number = std::get_if<double>(&value)) return FloatFieldText(*number);
  if (const auto* date = std::get_if<TDate>(&value)) return DateTimeFieldText(date->value);
  return {};
}

struct TResultSet {
  std::vector<std::string> columns;
  std::vector<std::vector<TValue>> rows;
  // The query fails with this database error when it would move past this many rows.
  std::optional<std::size_t> failAfterRows = std::nullopt;
};

// A column of a table in the dictionary: name, type, DATA_LENGTH, DATA_PRECISION, DATA_SCALE
// (NULL where std::nullopt) and CHAR_LENGTH (when not given: DATA_LENGTH for VARCHAR2, as in a
// database of one byte per character, and 0 for other types, as the dictionary gives it).
struct TColumn {
  std::string name;
  std::string type;
  int32_t length;
  std::optional<int32_t> precision;
  std::optional<int32_t> scale;
  std::optional<int32_t> charLength = std::nullopt;
};

// Hands every call on to another database, which outlives it: a session owns the database it is
// given, while the test keeps the one it looks at.
class TForwardingDatabase : public IExportDatabase {
 public:
  explicit TForwardingDatabase(IExportDatabase& target) : target_(target) {}
  // Not copyable: a copy made from a forwarding database would forward to its target, not to it.
  TForwardingDatabase(const TForwardingDatabase&) = delete;
  TForwardingDatabase& operator=(const TForwardingDatabase&) = delete;
  void Disconnect() override { target_.Disconnect(); }
  void SetLogin(const TConnectParts& login) override { target_.SetLogin(login); }
  void Connect() override { target_.Connect(); }
  int ServerVersion() override { return target_.ServerVersion(); }
  void ExecSQL(const std::string& sql) override { target_.ExecSQL(sql); }
  void Open(const std::string& sql, bool uniDirectional, bool exactNumbers) override {
    target_.Open(sql, uniDirectional, exactNumbers);
  }
  bool Eof() override { return target_.Eof(); }
  void Next() override { target_.Next(); }
  void SetFetchRows(int rows) override { target_.SetFetchRows(rows); }
  std::string FieldText(const std::string& name) override { return target_.FieldText(name); }
  int32_t FieldInteger(const std::string& name) override { return target_.FieldInteger(name); }
  void FieldTexts(const std::vector<std::string>& names,
                  std::vector<std::string>& values) override {
    target_.FieldTexts(names, values);
  }

 private:
  IExportDatabase& target_;
};

// Answers the statements it was given result sets for; any other statement fails with ORA-00942,
// as a query of a table that does not exist does. Every call is recorded as a line of text:
// "disconnect", "login <user>|<password>|<server>", "connect", "exec <sql>", "open <sql>",
// "open unidirectional <sql>" or "fetch rows <n>".
class TScriptedDatabase : public IExportDatabase {
 public:
  void Disconnect() override {
    Record("disconnect");
    connected = false;
  }
  void SetLogin(const TConnectParts& login) override {
    Record("login " + login.Username + "|" + login.Password + "|" + login.Server);
  }
  void Connect() override {
    Record("connect");
    if (clientError) throw EClientLibraryError(*clientError);
    if (connectError) throw EOraError(connectError->first, connectError->second);
    connected = true;
  }
  int ServerVersion() override { return connected ? serverVersion : 0; }
  void ExecSQL(const std::string& sql) override {
    Record("exec " + sql);
    if (!connected) throw EOraError(3114, "ORA-03114: not connected to ORACLE");
    if (failingStatements.contains(sql)) throw EOraError(2248, "ORA-02248: invalid option");
  }
  void Open(const std::string& sql, bool uniDirectional, bool exactNumbers) override {
    Record((uniDirectional ? "open unidirectional " : "open ") + sql);
    if (exactNumbers) exactOpens.push_back(sql);
    current_ = nullptr;
    if (!connected) throw EOraError(3114, "ORA-03114: not connected to ORACLE");
    const auto found = results.find(sql);
    if (found == results.end()) throw EOraError(942, "ORA-00942: table or view does not exist");
    current_ = &found->second;
    row_ = 0;
    CheckRow();
  }
  bool Eof() override { return Current().rows.size() <= row_; }
  void Next() override {
    ++row_;
    CheckRow();
  }
  void SetFetchRows(int rows) override { Record("fetch rows " + std::to_string(rows)); }
  std::string FieldText(const std::string& name) override { return ValueText(Field(name)); }
  int32_t FieldInteger(const std::string& name) override {
    const TValue& value = Field(name);
    if (const auto* number = std::get_if<int32_t>(&value)) return *number;
    if (const auto* number = std::get_if<double>(&value)) return static_cast<int32_t>(*number);
    return 0;
  }

  // The list of the user's tables.
  void SetTables(const std::vector<std::string>& names) {
    TResultSet list{{"TABLE_NAME"}, {}, std::nullopt};
    for (const std::string& name : names) list.rows.push_back({name});
    results["select table_name from user_tables order by 1 "] = list;
  }

  // A table: its dictionary rows (under the name given, as the dictionary compares it) for servers
  // before 9i and for later ones, its count (`count` when given, else the number of rows) and its
  // rows in the order of the first column.
  void AddTable(const std::string& table, const std::vector<TColumn>& columns,
                const std::vector<std::vector<TValue>>& rows = {},
                std::optional<int32_t> count = std::nullopt) {
    TResultSet dictionary{
        {"COLUMN_NAME", "DATA_TYPE", "DATA_LENGTH", "DATA_PRECISION", "DATA_SCALE"},
        {},
        std::nullopt};
    TResultSet withCharLengths = dictionary;
    withCharLengths.columns.push_back("CHAR_LENGTH");
    TResultSet data;
    for (const TColumn& c : columns) {
      dictionary.rows.push_back({c.name, c.type, static_cast<double>(c.length),
                                 c.precision ? TValue(static_cast<double>(*c.precision)) : TValue(),
                                 c.scale ? TValue(static_cast<double>(*c.scale)) : TValue()});
      withCharLengths.rows.push_back(dictionary.rows.back());
      withCharLengths.rows.back().push_back(
          static_cast<double>(c.charLength.value_or(c.type == "VARCHAR2" ? c.length : 0)));
      data.columns.push_back(c.name);
    }
    data.rows = rows;
    results[DictionaryQuery(table, false)] = dictionary;
    results[DictionaryQuery(table, true)] = withCharLengths;
    results["select count(*) cnt from " + table] = {
        {"CNT"}, {{count.value_or(static_cast<int32_t>(rows.size()))}}};
    results["select * from " + table + " order by 1"] = data;
  }

  // The dictionary query of a table as the analysis sends it to a server from 9i on
  // (`charLengths`) or to an older one.
  static std::string DictionaryQuery(const std::string& table, bool charLengths = true) {
    return std::string("select column_name, data_type, data_length, data_precision, data_scale") +
           (charLengths ? ", char_length" : "") + " from user_tab_columns where table_name = '" +
           table + "' order by Column_id";
  }

  // The recorded calls that start with `prefix`.
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : calls) {
      if (call.rfind(prefix, 0) == 0) found.push_back(call);
    }
    return found;
  }

  std::map<std::string, TResultSet> results;
  std::optional<std::pair<int32_t, std::string>> connectError;
  // When set, Connect fails as a client library that cannot be found or loaded does.
  std::optional<std::string> clientError;
  std::set<std::string> failingStatements;
  bool connected = false;
  // The release the server reports, as ServerVersion gives it.
  int serverVersion = 10201;
  std::vector<std::string> calls;
  // The statements opened with exact numbers, in order.
  std::vector<std::string> exactOpens;

 private:
  void Record(std::string call) { calls.push_back(std::move(call)); }
  const TResultSet& Current() const {
    if (current_ == nullptr) {
      throw EDatabaseError("SmartQuery1: Cannot perform this operation on a closed dataset");
    }
    return *current_;
  }
  void CheckRow() {
    const TResultSet& set = Current();
    if (set.failAfterRows && row_ >= *set.failAfterRows && row_ < set.rows.size()) {
      current_ = nullptr;
      throw EOraError(3113, "ORA-03113: end-of-file on communication channel");
    }
  }
  const TValue& Field(const std::string& name) const {
    const TResultSet& set = Current();
    if (row_ >= set.rows.size()) throw EDatabaseError("SmartQuery1: no current record");
    for (std::size_t i = 0; i < set.columns.size(); ++i) {
      if (set.columns[i] == name) return set.rows[row_][i];
    }
    throw EDatabaseError("SmartQuery1: Field '" + name + "' not found");
  }

  const TResultSet* current_ = nullptr;
  std::size_t row_ = 0;
};

// ---- DBF files ---------------------------------------------------------------------------------

// Table files are read by the strict reader of the test support: the header's record count, its
// fields, and each record's bytes (deletion flag included), in code page 866.
using TDbfField = testsupport::DbfField;
using TDbfFile = testsupport::DbfTable;
using testsupport::ReadDbf;

}  // namespace tarnwick::export_test
