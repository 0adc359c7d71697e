#pragma once
// The database work of the export's actions, as the main window's session component OraSession1
// and its query component SmartQuery1 do it. TOraExportDatabase is the real one; tests put
// scripted result sets in its place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/ExportText.h"

namespace tarnwick {

class IExportDatabase {
 public:
  virtual ~IExportDatabase() = default;

  // Ends the session's connection, if any.
  virtual void Disconnect() = 0;
  // User name, password and server for the next connect.
  virtual void SetLogin(const TConnectParts& login) = 0;
  // Connects with the login last set; raises the data-access error when that fails.
  virtual void Connect() = 0;
  // The connected server's release as a number (9.2.0.1 gives 9201, 10.2.0.1 gives 10201), as
  // the session read it from the server's banner; 0 when not connected.
  virtual int ServerVersion() = 0;

  // The query's SQL text becomes `sql`, which is executed as a statement without result.
  virtual void ExecSQL(const std::string& sql) = 0;
  // The query's SQL text becomes `sql`, which is opened. A unidirectional query keeps only the
  // block of rows it is reading, so its memory does not grow with the table; any other query
  // keeps every row it has fetched until it is closed. With exactNumbers the NUMBER columns of
  // more than 15 digits (a precision above 15, or none) read as the exact text of their values,
  // every digit (OraNumberToStr); without it every column reads by the field-text rules of its
  // field class, NUMBER through a double with 15 digits.
  virtual void Open(const std::string& sql, bool uniDirectional, bool exactNumbers) = 0;
  virtual bool Eof() = 0;
  virtual void Next() = 0;
  // The rows that the queries opened from now on read per round trip to the server (1 to 10000).
  // The window keeps the query component's 25; the batch program chooses per table.
  virtual void SetFetchRows(int rows) = 0;

  // The current row's field of that name, as text (field-text rules) or as an integer. A name
  // that the query does not have raises the data-access error.
  virtual std::string FieldText(const std::string& name) = 0;
  virtual int32_t FieldInteger(const std::string& name) = 0;

  // The current row's fields of these names as texts, in the order of `names`, into `values`
  // (resized to match). The import reads every row this way; a database may find its fields once
  // per query instead of once per row and value.
  virtual void FieldTexts(const std::vector<std::string>& names, std::vector<std::string>& values) {
    values.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) values[i] = FieldText(names[i]);
  }
};

}  // namespace tarnwick
