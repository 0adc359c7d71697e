#include "app/ExportSession.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <optional>

#include "app/AppPaths.h"
#include "app/IniFile.h"
#include "app/RecordWriter.h"
#include "app/TargetState.h"
#include "base/Exception.h"
#include "dataset/text/FieldText.h"
#include "dataset/text/FormatSettings.h"
#include "dataset/text/NumberText.h"
#include "dbf/dbf.h"
#include "oracle/Oracall.h"

// Sections: texts; small helpers; Connect; Analyse; Import.

namespace tarnwick {

namespace {

// ---- texts -----------------------------------------------------------------------------------

constexpr const char* kConnected = "Приложение подключено к БД!";
constexpr const char* kNoConnection = "Нет соединения с базой данных!";
constexpr const char* kEnterLogin = "Введите параметры подключения";
constexpr const char* kChooseTable = "Выберите таблицу для импорта ";
constexpr const char* kBadTableName =
    "Недопустимое имя таблицы! Имя таблицы начинается с буквы, за которой следуют только буквы, "
    "цифры и символы _ $ #, всего не более 30 байт; кавычки, пробелы, точки и точки с запятой "
    "не допускаются. Чтение структуры невозможно!";
constexpr const char* kTypeRefused =
    "Данная версия программы обрабатывает только следующие типы данных: NUMBER, VARCHAR2 и "
    "DATE! Выгрузка данных невозможна!";
constexpr const char* kTextTooLong =
    "В формат  dbf не могут быть выгружены символьные поля длиной больше 255 символов!";
constexpr const char* kFileExistsCaption = "Файл сущесвует!";
constexpr const char* kWriteFailed = "Ошибки записи в файл!";

constexpr const char* kTableListQuery = "select table_name from user_tables order by 1 ";

std::string NoColumnsText(const std::string& table) {
  return "Таблица " + table +
         " не найдена среди таблиц пользователя или не имеет полей! Имя таблицы указывается так, "
         "как оно записано в списке таблиц (обычно заглавными буквами). Выгрузка данных "
         "невозможна!";
}

std::string TooManyFieldsText(int columns) {
  return "В таблице " + std::to_string(columns) +
         " полей, а файл в формате dbf может содержать не более 255 полей! Выгрузка данных "
         "невозможна!";
}

std::string RecordTooLongText(int64_t length) {
  return "Длина записи файла dbf составила бы " + std::to_string(length) +
         " байт, а допустимо не более 65535! Выгрузка данных невозможна!";
}

std::string NegativeScaleText(const std::string& column, const std::string& scale) {
  return "Поле " + column + " типа NUMBER с отрицательным масштабом (" + scale +
         ") не может быть выгружено в формат dbf! Выгрузка данных невозможна!";
}

std::string CannotCreateText(const std::string& path) {
  return "Не удалось создать файл " + path + "\n! Дальнейшая обработка невозможна!";
}

std::string CannotOpenText(const std::string& path) {
  return "Не удалось создать инициализировать файл " + path +
         "\n! Дальнейшая обработка невозможна!";
}

std::string OverwriteQuestion(const std::string& path) {
  return "Файл " + path + " уже существует! Пересоздать его (YES) или прекратить обработку? ";
}

// ---- helpers ---------------------------------------------------------------------------------

// The whole decimal number of a text, or nothing for any other text.
std::optional<int> Number(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (text.empty() || result.ec != std::errc() || result.ptr != end) return std::nullopt;
  return value;
}

// The log's date and time: the date in the form dd.mm.yyyy; the short date format is "yyyymmdd"
// again afterwards.
std::string LogDateTime(TDateTime now) {
  FormatSettings().ShortDateFormat = "dd.mm.yyyy";
  std::string text = DateTimeToStr(now);
  FormatSettings().ShortDateFormat = "yyyymmdd";
  return text;
}

// One row of the dictionary query; CharLength stays empty for servers before 9i.
struct TColumnRow {
  std::string Name, Type, Length, Precision, Scale, CharLength;
};

// Servers from 9i on keep a character column's length in characters (CHAR_LENGTH) beside its
// size in bytes (DATA_LENGTH), which is larger under character semantics in a multi-byte
// database (VARCHAR2(100 CHAR) in AL32UTF8 has DATA_LENGTH 400). Older servers have no
// CHAR_LENGTH: their DATA_LENGTH is the length, and their query stays as it always was.
constexpr int kCharLengthRelease = 9000;

std::string DictionaryQuery(const std::string& table, bool charLengths) {
  return std::string("select column_name, data_type, data_length, data_precision, data_scale") +
         (charLengths ? ", char_length" : "") + " from user_tab_columns where table_name = '" +
         table + "' order by Column_id";
}

// Counts values of an import per DBF field, for a log line after its end.
class TFieldCounts {
 public:
  explicit TFieldCounts(std::string head) : head_(std::move(head)) {}

  void Add(std::size_t field) {
    ++perField_[field];
    ++values_;
  }

  // head + the count + "; по полям: " + "NAME - count" for each field, in field order; empty
  // when nothing was counted.
  std::string LogLine(const std::vector<std::string>& fieldNames) const {
    if (values_ == 0) return {};
    std::string line = head_ + std::to_string(values_) + "; по полям: ";
    bool first = true;
    for (const auto& [field, count] : perField_) {
      if (!first) line += ", ";
      first = false;
      line += fieldNames[field] + " - " + std::to_string(count);
    }
    return line;
  }

 private:
  std::string head_;
  std::map<std::size_t, int64_t> perField_;
  int64_t values_ = 0;
};

// Counts the values whose stored part had characters that code page 866 lacks, per field, from
// what the DBF writer reports of every record it stored.
class TSubstitutions {
 public:
  void Add(const std::vector<uint32_t>& replacedPerField) {
    for (std::size_t field = 0; field < replacedPerField.size(); ++field) {
      if (replacedPerField[field] != 0) counts_.Add(field);
    }
  }

  // The log line, empty when every character could be stored.
  std::string LogLine(const std::vector<std::string>& fieldNames) const {
    return counts_.LogLine(fieldNames);
  }

 private:
  TFieldCounts counts_{
      "Значений с символами, которых нет в кодовой странице 866 (записаны в файл как \"?\"): "};
};

// Fits the numbers of every record into their fields (FitNumberText) and counts, per field, the
// values that lost digits on the way.
class TRoundings {
 public:
  explicit TRoundings(const std::vector<TImportField>& layout) {
    for (const TImportField& field : layout) {
      if (field.Type == 'N')
        numbers_.push_back({field.Column, static_cast<std::size_t>(std::max(field.Length, 0))});
    }
  }

  void Fit(std::vector<std::string>& values) {
    for (const TNumberField& field : numbers_) {
      std::string& value = values[field.index];
      // Almost every text fits as it is; only a longer one is looked at.
      if (value.size() <= field.length) continue;
      TFittedNumber fitted = FitNumberText(value, field.length);
      if (fitted.Rounded) counts_.Add(field.index);
      value = std::move(fitted.Text);
    }
  }

  // The log line, empty when every number was written whole.
  std::string LogLine(const std::vector<std::string>& fieldNames) const {
    return counts_.LogLine(fieldNames);
  }

 private:
  struct TNumberField {
    std::size_t index;
    std::size_t length;
  };
  std::vector<TNumberField> numbers_;
  TFieldCounts counts_{"Чисел, записанных в файл округленными (не поместились в поле целиком): "};
};

// Whether a text is a number as the field texts write one: a sign, digits with at most one
// decimal point, and an exponent; with `integer` only a sign and digits.
bool IsNumberText(const std::string& text, bool integer) {
  std::size_t pos = text[0] == '-' ? 1 : 0;
  std::size_t digits = 0;
  bool point = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && !point && !integer) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (pos == text.size()) return true;
  if (integer || (text[pos] != 'E' && text[pos] != 'e')) return false;
  if (++pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
  if (pos == text.size()) return false;
  for (; pos < text.size(); ++pos) {
    if (text[pos] < '0' || text[pos] > '9') return false;
  }
  return true;
}

// Checks that every value of a record goes into its field whole and in a form that readers read.
// The analysis made every field as long as the longest text that its column's values can give,
// so only a table that changed after the analysis (a column widened or of another type, a view
// whose dictionary entry is stale) gives a value that does not fit: such a value stops the import
// with a database error instead of being cut, or written where readers take it for garbage. The
// numbers of a floating NUMBER column (neither precision nor scale) may be longer than their
// field: those are rounded to it afterwards (TRoundings).
class TFieldCheck {
 public:
  TFieldCheck(const std::vector<TImportField>& layout, const std::vector<std::string>& oraScales) {
    for (const TImportField& field : layout) {
      const bool floating =
          field.Type == 'N' && field.Column < oraScales.size() && oraScales[field.Column].empty();
      fields_.push_back({&field, floating});
    }
  }

  // Raises EDatabaseError naming the column, the row (from 1) and what does not fit.
  void Check(const std::vector<std::string>& values, int64_t row) const {
    for (const TCheckedField& f : fields_) {
      const std::string& value = values[f.field->Column];
      if (value.empty()) continue;
      const auto length = static_cast<std::size_t>(std::max(f.field->Length, 0));
      switch (f.field->Type) {
        case 'C':
          // A character takes at least one byte: a text no longer than the field fits.
          if (value.size() > length && CharacterCount(value) > length) {
            Fail(*f.field, row, std::to_string(CharacterCount(value)) + " characters");
          }
          break;
        case 'N':
          if (!IsNumberText(value, f.field->Decimals == 0)) {
            Fail(*f.field, row, Quoted(value) + " is no number of that field");
          }
          if (!f.floating && value.size() > length) {
            Fail(*f.field, row,
                 Quoted(value) + " has " + std::to_string(value.size()) + " characters");
          }
          break;
        case 'D':
          // A date's text is YYYYMMDD, followed by its time of day when it has one: the field
          // keeps the date, the first 8 characters.
          if (value.size() < 8 || (value.size() > 8 && value[8] != ' ') ||
              !std::all_of(value.begin(), value.begin() + 8,
                           [](char c) { return c >= '0' && c <= '9'; })) {
            Fail(*f.field, row, Quoted(value) + " is no date YYYYMMDD");
          }
          break;
        default:
          break;
      }
    }
  }

 private:
  struct TCheckedField {
    const TImportField* field;
    bool floating;
  };

  // The value in quotes, its first 40 characters when it is longer.
  static std::string Quoted(const std::string& value) {
    const std::string part = StoredPart(value, 40);
    return "\"" + part + (part.size() < value.size() ? "...\"" : "\"");
  }

  [[noreturn]] static void Fail(const TImportField& field, int64_t row, const std::string& what) {
    std::string message = "the value of column " + field.OraName;
    message += " in row " + std::to_string(row) + " does not fit its DBF field " + field.DbfName;
    message += " (" + std::string(1, field.Type) + " " + field.LengthText;
    if (field.Type == 'N') message += "." + std::to_string(field.Decimals);
    message += "): " + what;
    message +=
        "; the table does not hold what its structure said (it changed after the analysis, "
        "or the dictionary describes it as it was): read the structure again";
    throw EDatabaseError(message);
  }

  std::vector<TCheckedField> fields_;
};

}  // namespace

TDateTime LocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, std::min(local.tm_sec, 59),
                        static_cast<int>(now.tv_nsec / 1000000));
}

std::vector<TImportField> ImportLayout(int columns, const std::vector<std::string>& oraNames,
                                       const std::vector<std::string>& dbfNames,
                                       const std::vector<std::string>& dbfTypes,
                                       const std::vector<std::string>& dbfLengths,
                                       const std::vector<std::string>& dbfDecimals) {
  const auto count = static_cast<std::size_t>(columns);
  if (columns < 0 || oraNames.size() < count || dbfNames.size() < count ||
      dbfTypes.size() < count || dbfLengths.size() < count || dbfDecimals.size() < count) {
    std::string message = "The field lists of the analysis do not hold its ";
    message += std::to_string(columns);
    message += " columns";
    throw Exception(message);
  }
  std::vector<TImportField> layout(count);
  for (std::size_t i = 0; i < count; ++i) {
    TImportField& field = layout[i];
    field.Column = i;
    field.OraName = oraNames[i];
    field.DbfName = dbfNames[i];
    field.Type = dbfTypes[i].empty() ? '\0' : dbfTypes[i][0];
    field.Length = Number(dbfLengths[i]).value_or(0);
    field.Decimals = Number(dbfDecimals[i]).value_or(0);
    field.LengthText = dbfLengths[i];
  }
  return layout;
}

void UseExportFormatSettings() {
  TFormatSettings& settings = FormatSettings();
  settings.DateSeparator = '.';
  settings.ShortDateFormat = "dd.mm.yyyy";
  settings.DecimalSeparator = '.';
}

TExportSession::TExportSession(std::string settingsPath, std::unique_ptr<IExportDatabase> database)
    : Now(LocalNow), settingsPath_(std::move(settingsPath)), database_(std::move(database)) {
  UseExportFormatSettings();
}

TExportSession::~TExportSession() = default;

// ---- Connect ---------------------------------------------------------------------------------

bool TExportSession::Connect(IExportView& view, const std::string& connectString) {
  ConnectError.clear();
  ConnectErrorFromClient = false;
  if (connectString.empty()) {
    view.ShowMessage(kEnterLogin);
    return false;
  }
  IExportDatabase& db = *database_;
  db.Disconnect();
  db.SetLogin(SplitConnectString(connectString));
  try {
    db.Connect();
    view.SetStatusText(kConnected);
    db.ExecSQL("ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'");
    db.ExecSQL("ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '");
  } catch (const std::exception& e) {
    ConnectError = e.what();
    ConnectErrorFromClient = dynamic_cast<const EClientLibraryError*>(&e) != nullptr;
    view.ShowMessage(kNoConnection);
    view.SetStatusText(kNoConnection);
    return false;
  } catch (...) {
    ConnectError = "unknown error";
    view.ShowMessage(kNoConnection);
    view.SetStatusText(kNoConnection);
    return false;
  }
  if (RememberConnection) {
    // A folder that cannot be made shows as the write's own error.
    if (CreateSettingsFolder) MakeSettingsFolder(settingsPath_);
    TIniFile(settingsPath_).WriteString("Connect", "String", connectString);
  }
  view.ClearTableText();
  view.ClearTableList();
  // The table box no longer names the analysed table.
  view.SetImportEnabled(false);
  analysed_ = false;
  db.Open(kTableListQuery, false, false);
  while (!db.Eof()) {
    view.AddTable(db.FieldText("TABLE_NAME"));
    db.Next();
  }
  return true;
}

// ---- Analyse ---------------------------------------------------------------------------------

void TExportSession::RefreshTableList(IExportView& view) {
  IExportDatabase& db = *database_;
  std::vector<std::string> names;
  db.Open(kTableListQuery, false, false);
  while (!db.Eof()) {
    names.push_back(db.FieldText("TABLE_NAME"));
    db.Next();
  }
  view.ClearTableList();
  for (const std::string& name : names) view.AddTable(name);
}

void TExportSession::Analyse(IExportView& view, const std::string& table) {
  if (table.empty()) {
    view.ShowMessage(kChooseTable);
    return;
  }
  // The name goes into the SQL text, so only an identifier gets that far; nothing else changes.
  if (!IsTableIdentifier(table)) {
    view.ShowMessage(kBadTableName);
    return;
  }
  // The lists are rebuilt now: until this analysis accepts the table, nothing may import it.
  view.SetImportEnabled(false);
  analysed_ = false;
  RefreshTableList(view);
  view.ClearMemo();
  for (const std::string& line : StructureReportHead()) view.AddMemoLine(line);

  OraNames.clear();
  OraTypes.clear();
  OraSizes.clear();
  OraScales.clear();
  DbfNames.clear();
  DbfTypes.clear();
  DbfLengths.clear();
  DbfDecimals.clear();
  ColumnCount = 0;
  bool error = false;

  IExportDatabase& db = *database_;
  const bool charLengths = db.ServerVersion() >= kCharLengthRelease;
  db.Open(DictionaryQuery(table, charLengths), false, false);
  std::vector<TColumnRow> rows;
  while (!db.Eof()) {
    rows.push_back({db.FieldText("COLUMN_NAME"), db.FieldText("DATA_TYPE"),
                    db.FieldText("DATA_LENGTH"), db.FieldText("DATA_PRECISION"),
                    db.FieldText("DATA_SCALE"),
                    charLengths ? db.FieldText("CHAR_LENGTH") : std::string()});
    db.Next();
  }
  // The DBF names depend on every column name of the table (a name must not take another's).
  std::vector<std::string> names;
  for (const TColumnRow& row : rows) names.push_back(row.Name);
  const std::vector<std::string> dbfNames = DbfFieldNames(names);

  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TColumnRow& row = rows[i];
    OraNames.push_back(row.Name);
    DbfNames.push_back(dbfNames[i]);

    OraTypes.push_back(row.Type);
    const bool isText = row.Type == "VARCHAR2";
    const bool isNumber = row.Type == "NUMBER";
    const bool isDate = row.Type == "DATE";
    if (isText || isNumber || isDate) {
      DbfTypes.push_back(isText ? "C" : isNumber ? "N" : "D");
    } else {
      DbfTypes.emplace_back();
      view.ShowMessage(kTypeRefused);
      error = true;
    }

    if (isDate) {
      OraSizes.push_back(row.Length);
      DbfLengths.push_back("8");
    } else {
      // A DBF character field holds one byte per character: a text's length is its characters.
      const bool inCharacters = isText && Number(row.CharLength).value_or(0) > 0;
      const std::string size = inCharacters            ? row.CharLength
                               : row.Precision.empty() ? row.Length
                                                       : row.Precision;
      OraSizes.push_back(size);
      if (isNumber) {
        // The longest text a value can give fits whole: sign, decimal point and exponent too.
        DbfLengths.push_back(std::to_string(
            NumberDbfLength(Number(row.Precision), Number(row.Scale), Number(size).value_or(0))));
      } else {
        DbfLengths.push_back(size);
      }
    }
    if (isText && Number(OraSizes.back()).value_or(0) > 255) {
      view.ShowMessage(kTextTooLong);
      error = true;
    }

    OraScales.push_back(row.Scale);
    // The report keeps the Oracle scale; the field gets the decimals its texts need.
    DbfDecimals.push_back(
        isNumber ? std::to_string(NumberDbfDecimals(Number(row.Precision), Number(row.Scale)))
                 : std::string());
    if (isNumber && Number(row.Scale).value_or(0) < 0) {
      view.ShowMessage(NegativeScaleText(row.Name, row.Scale));
      error = true;
    }

    ++ColumnCount;
    view.AddMemoLine(StructureReportLine(ColumnCount, OraNames.back(), DbfNames.back(),
                                         OraTypes.back(), DbfTypes.back(), OraSizes.back(),
                                         OraScales.back()));
  }
  if (!CheckLimits(view, table)) error = true;
  if (error) return;

  db.Open("select count(*) cnt from " + table, false, false);
  TableRowCount = db.FieldInteger("CNT");
  view.AddMemoLine(StructureReportRule());
  view.AddMemoLine(RowCountLine(TableRowCount));
  analysed_ = true;
  analysedTable_ = table;
  view.SetImportEnabled(true);
  view.AddMemoLine(EstimateLine(EstimateSeconds(TableRowCount, ColumnCount)));
}

int64_t TExportSession::RecordLength() const {
  int64_t length = 1;  // the deletion flag
  for (std::size_t i = 0; i < DbfLengths.size(); ++i) {
    if (!DbfTypes[i].empty()) length += Number(DbfLengths[i]).value_or(0);
  }
  return length;
}

// What a DBF file can hold: at least one and at most 255 fields, records of at most 65535 bytes.
bool TExportSession::CheckLimits(IExportView& view, const std::string& table) {
  if (ColumnCount == 0) {
    view.ShowMessage(NoColumnsText(table));
    return false;
  }
  bool ok = true;
  if (ColumnCount > 255) {
    view.ShowMessage(TooManyFieldsText(ColumnCount));
    ok = false;
  }
  const int64_t recordLength = RecordLength();
  if (recordLength > 65535) {
    view.ShowMessage(RecordTooLongText(recordLength));
    ok = false;
  }
  return ok;
}

// ---- Import ----------------------------------------------------------------------------------

TImportResult TExportSession::Import(IExportView& view, const std::string& path,
                                     const std::string& table) {
  if (!analysed_ || table != analysedTable_) {
    throw Exception("The import needs a successful structure analysis of the table first");
  }
  // The lists are read once; the records are written from what they give.
  const std::vector<TImportField> layout =
      ImportLayout(ColumnCount, OraNames, DbfNames, DbfTypes, DbfLengths, DbfDecimals);
  RecordsWritten = 0;
  RoundingLine.clear();
  const bool ownFile = !WorkFile.empty();
  const std::string file = ownFile ? WorkFile : path;
  if (!ownFile && TargetState(path).HoldsFile()) {
    if (!view.AskYesNo(kFileExistsCaption, OverwriteQuestion(path))) return TImportResult::Declined;
    // Only a file that is really gone is reported deleted; one that stays makes the creation
    // below fail with its own message.
    if (::unlink(path.c_str()) == 0) view.AddMemoLine("Файл " + path + " удален!");
  }

  // The field lists for dbf_create, names in UTF-8: the writer stores them in code page 866, like
  // the records, so that a name of ten characters takes ten bytes.
  std::vector<std::string> nameTexts(layout.size());
  std::vector<const char*> names;
  std::string types;
  std::vector<int32_t> lengths;
  std::vector<int32_t> decimals;
  for (const TImportField& field : layout) {
    std::string& name = nameTexts[field.Column];
    name = StoredPart(field.DbfName, 11);
    names.push_back(name.c_str());
    types += field.Type;
    lengths.push_back(field.Length);
    decimals.push_back(field.Decimals);
  }
  names.push_back(nullptr);
  lengths.push_back(0);
  decimals.push_back(-1);

  UseExportFormatSettings();
  const bool created = ownFile ? dbf_create_new(file.c_str(), names.data(), types.c_str(),
                                                lengths.data(), decimals.data())
                               : dbf_create(file.c_str(), names.data(), types.c_str(),
                                            lengths.data(), decimals.data());
  if (!created) {
    view.ShowMessage(CannotCreateText(file));
    return TImportResult::CannotCreate;
  }
  FormatSettings().ShortDateFormat = "yyyymmdd";
  view.AddMemoLine("Файл " + file + " создан!");
  if (dbf_open(file.c_str()) == -2) {
    view.ShowMessage(CannotOpenText(file));
    return TImportResult::CannotOpen;
  }
  view.AddMemoLine("Начало импорта: " + LogDateTime(Now()));

  TSubstitutions substitutions;
  // The fields of every row, read in the order of the layout, and their DBF lengths.
  std::vector<std::string> fieldNames;
  std::vector<std::string> lengthTexts;
  for (const TImportField& field : layout) {
    fieldNames.push_back(field.OraName);
    lengthTexts.push_back(field.LengthText);
  }
  TRoundings roundings(layout);
  const TFieldCheck check(layout, OraScales);
  auto logCounts = [&] {
    if (const std::string line = substitutions.LogLine(DbfNames); !line.empty()) {
      view.AddMemoLine(line);
    }
    RoundingLine = roundings.LogLine(DbfNames);
    if (!RoundingLine.empty()) view.AddMemoLine(RoundingLine);
  };
  IExportDatabase& db = *database_;
  int64_t& written = RecordsWritten;
  // The records go to the file on the writer's thread while the next rows are read here; the
  // gauge moves once per record written, as the records reach the file.
  TRecordWriter writer(lengthTexts, [&substitutions](const std::vector<uint32_t>& replaced) {
    substitutions.Add(replaced);
  });
  int64_t read = 0;
  auto showWritten = [&] {
    for (const int64_t now = writer.Written(); written < now;) {
      ++written;
      view.SetGauge(GaugePosition(written, TableRowCount));
    }
  };
  auto writeFailed = [&] {
    dbf_close();
    logCounts();
    view.ShowMessage(kWriteFailed);
    return TImportResult::WriteFailed;
  };
  try {
    db.Open("select * from " + table + " order by 1", true, true);
    while (!db.Eof() && !writer.Failed()) {
      if (StopRequested && StopRequested()) {
        // The rows read so far are written first.
        const bool complete = writer.Finish();
        showWritten();
        if (!complete) return writeFailed();
        dbf_close();
        view.AddMemoLine("Импорт прерван: " + LogDateTime(Now()) +
                         ". Записано записей: " + std::to_string(written));
        logCounts();
        return TImportResult::Stopped;
      }
      std::vector<std::string>& values = writer.NextRecord();
      db.FieldTexts(fieldNames, values);
      check.Check(values, read + 1);
      roundings.Fit(values);
      writer.Add();
      ++read;
      showWritten();
      db.Next();
    }
    const bool complete = writer.Finish();
    showWritten();
    if (!complete) return writeFailed();
  } catch (...) {
    // The records read before the failure are written; they stay, with a matching count, and
    // the file is closed. A record that could not be written came before the failing row, whose
    // failure is then not reported: the write failure ended the import first.
    bool complete = false;
    try {
      complete = writer.Finish();
    } catch (...) {
    }
    showWritten();
    if (!complete) return writeFailed();
    dbf_close();
    logCounts();
    throw;
  }
  view.AddMemoLine("Конец импорта: " + LogDateTime(Now()));
  logCounts();
  if (FinishFile) return FinishFile() ? TImportResult::Done : TImportResult::NotFinished;
  dbf_close();
  return TImportResult::Done;
}

}  // namespace tarnwick
