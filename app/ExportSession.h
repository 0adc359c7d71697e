#pragma once
// The work of the main window's actions without the window: connecting and listing the tables
// ("Подключиться"), analysing a table's structure ("Прочитать структуру") and importing it into a
// DBF file ("Импорт"). The window and the batch front end both drive one TExportSession through
// an IExportView, so they show the same texts and write the same files.
//
// Errors that an action does not handle itself (a database error in a query, a settings file
// that cannot be written) leave it as exceptions; the caller shows them.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ExportDatabase.h"
#include "app/ExportView.h"
#include "dataset/text/DateTimeUtils.h"

namespace tarnwick {

// What an import came to. A database error while reading the rows leaves Import as an exception
// instead; the records written before it stay in the file with a matching count.
enum class TImportResult {
  Done,          // every row was written
  Declined,      // the target file exists and the user chose to keep it
  CannotCreate,  // the table file could not be created
  CannotOpen,    // the new table file could not be opened for appending
  WriteFailed,   // a record could not be written; the records before it stay
  Stopped,       // StopRequested ended the import; the records written so far stay
  NotFinished,   // every row was written, but FinishFile found the file unsound or not on disk
};

// Sets the process's value-text settings that an export is made with: "." as the date separator
// and the decimal separator, and short dates as dd.mm.yyyy (the window's start-up settings).
// Numbers are written into the DBF file with the decimal separator and dates with the short date
// format, so a front end that left other settings would write wrong values: the session makes
// them itself, when it is made and before an import makes its file, and no front end has to.
void UseExportFormatSettings();

// One DBF field of an import, its texts in the analysis lists read once.
struct TImportField {
  std::size_t Column = 0;  // its entry in the analysis lists; its place in every row read
  std::string OraName;     // the query field whose text it gets (OraNames)
  std::string DbfName;     // its name in the DBF header (DbfNames)
  char Type = '\0';        // the first letter of its DbfTypes entry; 0 for a type refused
  int32_t Length = 0;      // the value of its DbfLengths entry
  int32_t Decimals = 0;    // the value of its DbfDecimals entry; 0 when that is empty
  std::string LengthText;  // the DbfLengths entry as it is: dbf_append takes the lengths as text
};

// The fields of an import, from the first `columns` entries of the analysis lists. A length or a
// decimals entry that is not a whole decimal number that fits 32 bits (blanks, signs other than
// a leading "-", other characters) counts 0; the DBF writer refuses a field of length 0 or less,
// so the import reports that it cannot create its file. Throws Exception when columns is
// negative or a list has fewer entries.
std::vector<TImportField> ImportLayout(int columns, const std::vector<std::string>& oraNames,
                                       const std::vector<std::string>& dbfNames,
                                       const std::vector<std::string>& dbfTypes,
                                       const std::vector<std::string>& dbfLengths,
                                       const std::vector<std::string>& dbfDecimals);

class TExportSession {
 public:
  // settingsPath: the settings file that a successful connection writes. Applies
  // UseExportFormatSettings.
  TExportSession(std::string settingsPath, std::unique_ptr<IExportDatabase> database);
  ~TExportSession();

  // Connects with a connection string user/password@server, sets the session's date format and
  // numeric characters, remembers the string in the settings file and lists the user's tables.
  // True when the session connected and its settings were made.
  bool Connect(IExportView& view, const std::string& connectString);

  // Refuses, with a message and before any SQL, a table name that is not an unquoted identifier
  // (IsTableIdentifier). Otherwise reads the dictionary entry of the table, maps its columns to DBF
  // fields, writes the structure report, counts the rows, estimates the time and enables the import
  // when the table can be exported. The table list is refreshed first: its names are replaced by
  // those the server has now, and the typed name stays.
  void Analyse(IExportView& view, const std::string& table);

  // Writes every row of the table into a new DBF file at path, with a log and the gauge. Raises
  // Exception unless the last analysis accepted this very table (so a name that the analysis
  // refused, an identifier check among its reasons, never reaches the import's SQL). Applies
  // UseExportFormatSettings before it makes its file; the rows are read with the short date
  // format yyyymmdd, which stays set once the file was made.
  TImportResult Import(IExportView& view, const std::string& path, const std::string& table);

  // Whether a successful Connect writes the connection string into the settings file, as the
  // window does. The batch front end reads the settings file and never writes it.
  bool RememberConnection = true;
  // Whether that write first makes the settings file's folder when it is missing (the user's
  // settings folder, see SettingsFilesFor); otherwise a missing folder fails the write.
  bool CreateSettingsFolder = false;
  // The text of the error that made the last Connect fail; empty after a successful one.
  std::string ConnectError;
  // Whether that error is the client library's (not found, refused, not loaded): the user has to
  // change the machine rather than the connection string, so the front ends show its text.
  bool ConnectErrorFromClient = false;
  // Asked before each row of an import; true ends the import there, with a log line saying so.
  std::function<bool()> StopRequested;
  // How Import makes and ends its file. Empty (the window): an existing file at the path is
  // deleted once the user agrees, the table is made at the path by dbf_create and closed by
  // dbf_close. Set (the batch front end): nothing is asked and nothing deleted; the table is made
  // by dbf_create_new at WorkFile, a file of its own, and after the last row FinishFile ends it
  // (checks, syncs and publishes it, see dbf_finish); its false gives NotFinished. On any other
  // outcome the table is closed and WorkFile keeps the records written.
  std::string WorkFile;
  std::function<bool()> FinishFile;
  // The records that the running or the last import wrote.
  int64_t RecordsWritten = 0;
  // The log line of the last import that tells how many numbers were written rounded, because
  // their exact text did not fit their field, per DBF field; empty when every number was
  // written whole.
  std::string RoundingLine;

  // The results of the last analysis, entry i of each list for the table's i-th column. The
  // import reads them once into its field layout (ImportLayout).
  std::vector<std::string> OraNames;     // COLUMN_NAME
  std::vector<std::string> OraTypes;     // DATA_TYPE
  std::vector<std::string> OraSizes;     // DATA_LENGTH for DATE; DATA_PRECISION, else DATA_LENGTH
  std::vector<std::string> OraScales;    // DATA_SCALE, empty for NULL
  std::vector<std::string> DbfNames;     // unique, at most 10 characters
  std::vector<std::string> DbfTypes;     // "C", "N", "D"; empty for a type that is refused
  std::vector<std::string> DbfLengths;   // the DBF field length
  std::vector<std::string> DbfDecimals;  // NUMBER: NumberDbfDecimals; empty for others
  int ColumnCount = 0;
  int32_t TableRowCount = 0;
  // The last analysis accepted the table; the import may run.
  bool Analysed() const noexcept { return analysed_; }
  // The length of the DBF record of the last analysis: the deletion flag and every field whose
  // type it accepted.
  int64_t RecordLength() const;

  IExportDatabase& Database() noexcept { return *database_; }

  // The local date and time that the import's log shows.
  std::function<TDateTime()> Now;

 private:
  void RefreshTableList(IExportView& view);
  bool CheckLimits(IExportView& view, const std::string& table);

  std::string settingsPath_;
  std::unique_ptr<IExportDatabase> database_;
  bool analysed_ = false;
  std::string analysedTable_;  // the table that the accepted analysis read
};

// The local date and time of the machine.
TDateTime LocalNow();

}  // namespace tarnwick
