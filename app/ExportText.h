#pragma once
// The rules of the export that need no database and no window: the split of the connection
// string and the text shown for it, the table name rule, the DBF naming rule, the structure
// report's lines, the time estimate, the DBF length and decimals of a NUMBER column, the gauge
// position and the stored part of a text. All texts are UTF-8; "character" means a Unicode code
// point.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// ---- connection string -----------------------------------------------------------------------

struct TConnectParts {
  std::string Username;
  std::string Password;
  std::string Server;
  bool operator==(const TConnectParts&) const = default;
};

// user/password@server, split at the first "/" and the first "@" of the whole text: the user name
// is the text before the "/", the password the text between the "/" and the "@" (empty when the
// "@" is missing or comes first), the server the text after the "@" (the whole text without one).
TConnectParts SplitConnectString(const std::string& text);

// The part of a connection string that may hold a password, as [Begin, End) byte positions:
// after the first "/" up to the first "@" that follows it, or up to the end when no "@" follows
// (without "@" the split takes the whole text for the server, the password typed after the "/"
// included); without "/", the text before the first "@" (the split's password). Nothing (Begin
// == End == npos) when the text has neither character.
struct TSecretRange {
  std::size_t Begin = std::string::npos;
  std::size_t End = std::string::npos;
  bool Present() const noexcept { return Begin != std::string::npos; }
};
TSecretRange ConnectStringSecret(const std::string& text);

// The text to show for a connection string wherever a login appears (messages, logs): the
// string with its secret part (ConnectStringSecret) replaced by "***", whatever its length, so
// "demo/demo@demo" shows as "demo/***@demo" and "demo/s3cretPW" as "demo/***". What is shown
// never depends on the password.
std::string ConnectDisplayText(const std::string& text);

// ---- table names -----------------------------------------------------------------------------

// Whether a table name is an unquoted Oracle identifier: a letter (Latin or Cyrillic) first,
// then letters, digits, "_", "$" and "#", at most 30 bytes in UTF-8. Quotes, blanks, dots,
// semicolons and every other character are refused, so a name that passes adds nothing to the
// program's SQL but the name itself.
bool IsTableIdentifier(const std::string& text);

// The identifier as Oracle stores an unquoted name: its letters in upper case (emp is EMP);
// nothing when IsTableIdentifier refuses the text.
std::optional<std::string> UpperTableIdentifier(const std::string& text);

// ---- structure report ------------------------------------------------------------------------

// The number of characters of a UTF-8 text.
std::size_t CharacterCount(const std::string& text);

// text followed by (width - its length) copies of fill when it is shorter than width, else text
// unchanged. Lengths count characters, so Cyrillic names keep the report's columns aligned.
std::string PadRight(const std::string& text, std::size_t width, char fill = ' ');

// The five lines that head the structure report and the rule that closes its column rows.
const std::vector<std::string>& StructureReportHead();
std::string StructureReportRule();

// One column row of the report: number, Oracle name, DBF name, Oracle type, DBF type letter,
// Oracle size and scale, padded to 4, 30, 10, 15, 8, 5 and 2 characters, two spaces between.
std::string StructureReportLine(int number, const std::string& oraName, const std::string& dbfName,
                                const std::string& oraType, const std::string& dbfType,
                                const std::string& oraSize, const std::string& oraScale);

std::string RowCountLine(int64_t rows);  // "В таблице  <rows>  записей!"
std::string EstimateLine(int64_t seconds);  // "Предполагаемое время выгрузки <s> секунд"

// ---- DBF field names -------------------------------------------------------------------------

// The DBF field name of every column, in column order. A name of at most 10 characters is kept
// as it is; a longer one takes the next value k of a counter shared by the table's long names and
// becomes its first characters + "_" + k, ten characters in all (8 + "_1" ... 7 + "_10" ...
// 6 + "_100" ...). A candidate that another column's name already holds (a short column name
// anywhere in the table, or the name an earlier column got; compared as the header stores them,
// in code page 866 with "?" for every character it lacks, and without regard to ASCII case, as
// DBF readers compare field names) is passed over and k advances again, so every name that comes
// out is unique in the file. A short name taken by an earlier column in that sense is treated as
// a long one.
std::vector<std::string> DbfFieldNames(const std::vector<std::string>& oraNames);

// ---- time estimate ---------------------------------------------------------------------------

// Milliseconds per row for a table of `columns` columns, held as a 32-bit float as the program
// always held it (0.7 is 0.699999988).
float EstimateFactor(int columns);
// rows x factor x 0.001 in double precision, rounded down.
int64_t EstimateSeconds(int64_t rows, int columns);

// ---- NUMBER columns --------------------------------------------------------------------------

// Whether the import reads a NUMBER column as the exact text of its values (every digit, see
// OraNumberToStr): a precision above 15, or none (NUMBER(*, s), a floating NUMBER). Columns of
// up to 15 digits give the texts of their field class, which a double holds whole.
bool NumberReadExactly(std::optional<int> precision);

// The length of the longest field text that a value of NUMBER(precision, scale) can give: the
// integer text for NUMBER(1..9) and NUMBER(1..9, 0); for a column read exactly its exact text,
// every digit with its sign and decimal point (NUMBER(20) 21, NUMBER(20,2) 22, NUMBER(38,10)
// 40); else the 15-significant-digit general form with its sign, decimal point and exponent. No
// precision means NUMBER(*, scale), 38 digits. Neither precision nor scale means a floating
// NUMBER (up to 40 digits from 1E-130 up to below 1E126): 39, every integer of up to 38 digits
// with its sign; a longer text of such a column is rounded to the field (FitNumberText).
int NumberTextLength(std::optional<int> precision, std::optional<int> scale);

// The DBF length of a NUMBER column: NumberTextLength, never less than the size that the
// dictionary gives it (the precision, or DATA_LENGTH when there is none).
int NumberDbfLength(std::optional<int> precision, std::optional<int> scale, int oraSize);

// The DBF decimal count of a NUMBER column. Readers take a numeric field of 0 decimals for
// integers: python3-dbf reads its texts as integers and fails on "1234.5678" or "1E15", GDAL
// shows and converts its values rounded to whole numbers. So a field whose texts can hold a
// decimal point or an exponent gets decimals:
//   - a scale s > 0: s, the column's own scale;
//   - a scale s <= 0 (NUMBER(p), INTEGER = NUMBER(*, 0)): 0 when every text is a plain integer:
//     a column read exactly (NUMBER(p > 15), INTEGER) writes every digit without an exponent,
//     and one of up to 15 digits whose values stay below 1E15 (p - s <= 15) too; else 1,
//     because the values from 1E15 on are written with an exponent ("1E15");
//   - neither precision nor scale (a floating NUMBER): 15. Its texts have fractions of any
//     length and exponents ("1E-130"); 15 is the most dBASE III allows.
// A precision without a scale counts as scale 0, as in NumberTextLength. Apart from a scale kept
// as it is, the count stays within NumberDbfLength - 2, the limit of dBASE and python3-dbf.
int NumberDbfDecimals(std::optional<int> precision, std::optional<int> scale);

// ---- gauge -----------------------------------------------------------------------------------

// The gauge position after `written` records of a table counted `rowCount` rows: the whole
// percentage, at most 100. A count of 0 (rows added since the analysis) gives 100.
int GaugePosition(int64_t written, int64_t rowCount);

// ---- stored text ---------------------------------------------------------------------------

// The first `count` characters of a UTF-8 text (all of it when shorter); a byte that does not
// start a well-formed sequence counts as one character, as the DBF writer counts it.
std::string StoredPart(const std::string& text, std::size_t count);

}  // namespace tarnwick
