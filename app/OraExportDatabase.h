#pragma once
// The database of the export's actions as the main window has it: the session component
// OraSession1 and the query component SmartQuery1 bound to it, both with their defaults.
#include <memory>
#include <string>
#include <vector>

#include "app/ExportDatabase.h"
#include "dataset/OraSmart.h"
#include "oracle/OraSession.h"

namespace tarnwick {

class TOraExportDatabase : public IExportDatabase {
 public:
  TOraExportDatabase();
  ~TOraExportDatabase() override;

  void Disconnect() override;
  void SetLogin(const TConnectParts& login) override;
  void Connect() override;
  int ServerVersion() override;
  void ExecSQL(const std::string& sql) override;
  void Open(const std::string& sql, bool uniDirectional, bool exactNumbers) override;
  bool Eof() override;
  void Next() override;
  void SetFetchRows(int rows) override;
  std::string FieldText(const std::string& name) override;
  int32_t FieldInteger(const std::string& name) override;
  void FieldTexts(const std::vector<std::string>& names, std::vector<std::string>& values) override;

  // Declared in this order so that the query, which registered with the session, goes first.
  TOraSession OraSession1;
  TSmartQuery SmartQuery1;

 private:
  // Clears the SQL text and adds `sql` (which closes the query), chooses whether the query
  // keeps the rows it has read and whether the session reads NUMBER columns of more than 15
  // digits as Oracle numbers (its option EnableNumbers, on for the import's query only).
  void SetStatement(const std::string& sql, bool uniDirectional, bool exactNumbers);

  // The fields FieldTexts found for fieldNames_ in the query opened last; emptied whenever the
  // query's statement changes, since its fields are made anew.
  std::vector<std::string> fieldNames_;
  std::vector<TField*> fields_;
};

}  // namespace tarnwick
