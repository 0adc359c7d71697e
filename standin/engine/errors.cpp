// Published Oracle error texts and the OraError factory.
#include <cstdio>
#include <map>

#include "standin/engine/internal.h"

namespace standin {
namespace {

// "%s" marks where an argument goes, in order.
const std::map<int, const char*>& texts() {
  static const std::map<int, const char*> table = {
      {1, "unique constraint (%s) violated"},
      {28, "your session has been killed"},
      {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
      {900, "invalid SQL statement"},
      {901, "invalid CREATE command"},
      {902, "invalid datatype"},
      {903, "invalid table name"},
      {904, "%s: invalid identifier"},
      {905, "missing keyword"},
      {906, "missing left parenthesis"},
      {907, "missing right parenthesis"},
      {908, "missing NULL keyword"},
      {909, "invalid number of arguments"},
      {910, "specified length too long for its datatype"},
      {911, "invalid character"},
      {913, "too many values"},
      {917, "missing comma"},
      {918, "column ambiguously defined"},
      {920, "invalid relational operator"},
      {921, "unexpected end of SQL command"},
      {922, "missing or invalid option"},
      {923, "FROM keyword not found where expected"},
      {925, "missing INTO keyword"},
      {926, "missing VALUES keyword"},
      {927, "missing equal sign"},
      {928, "missing SELECT keyword"},
      {932, "inconsistent datatypes: expected %s got %s"},
      {933, "SQL command not properly ended"},
      {934, "group function is not allowed here"},
      {935, "group function is nested too deeply"},
      {936, "missing expression"},
      {937, "not a single-group group function"},
      {942, "table or view does not exist"},
      {947, "not enough values"},
      {955, "name is already used by an existing object"},
      {957, "duplicate column name"},
      {998, "must name this expression with a column alias"},
      {971, "missing SET keyword"},
      {972, "identifier is too long"},
      {979, "not a GROUP BY expression"},
      {600, "internal error code, arguments: [%s], [%s]"},
      {984, "column not allowed here"},
      {1002, "fetch out of sequence"},
      {1008, "not all variables bound"},
      {1012, "not logged on"},
      {1013, "user requested cancel of current operation"},
      {1017, "invalid username/password; logon denied"},
      {1031, "insufficient privileges"},
      {1400, "cannot insert NULL into (%s)"},
      {1403, "no data found"},
      {1405, "fetched column value is NULL"},
      {1406, "fetched column value was truncated"},
      {1407, "cannot update (%s) to NULL"},
      {1426, "numeric overflow"},
      {1428, "argument '%s' is out of range"},
      {1438, "value larger than specified precision allowed for this column"},
      {1455, "converting column overflows integer datatype"},
      {1465, "invalid hex number"},
      {1476, "divisor is equal to zero"},
      {1481, "invalid number format model"},
      {1722, "invalid number"},
      {1724, "floating point precision is out of range (1 to 126)"},
      {1727, "numeric precision specifier is out of range (1 to 38)"},
      {1728, "numeric scale specifier is out of range (-84 to 127)"},
      {1740, "missing double quote in identifier"},
      {1741, "illegal zero-length identifier"},
      {1756, "quoted string not properly terminated"},
      {1785, "ORDER BY item must be the number of a SELECT-list expression"},
      {1789, "query block has incorrect number of result columns"},
      {1790, "expression must have same datatype as corresponding expression"},
      {1792, "maximum number of columns in a table or view is 1000"},
      {1821, "date format not recognized"},
      {1830, "date format picture ends before converting entire input string"},
      {1841, "(full) year must be between -4713 and +9999, and not be 0"},
      {1843, "not a valid month"},
      {1846, "not a valid day of the week"},
      {1847, "day of month must be between 1 and last day of month"},
      {1849, "hour must be between 1 and 12"},
      {1850, "hour must be between 0 and 23"},
      {1851, "minutes must be between 0 and 59"},
      {1852, "seconds must be between 0 and 59"},
      {1853, "seconds in day must be between 0 and 86399"},
      {1855, "AM/A.M. or PM/P.M. required"},
      {1858, "a non-numeric character was found where a numeric was expected"},
      {1861, "literal does not match format string"},
      {1730, "invalid number of column names specified"},
      {1732, "data manipulation operation not legal on this view"},
      {2260, "table can have only one primary key"},
      {2248, "invalid option for ALTER SESSION"},
      {3001, "unimplemented feature"},
      {6502, "PL/SQL: numeric or value error: character string buffer too small"},
      {3113, "end-of-file on communication channel"},
      {3114, "not connected to ORACLE"},
      {3135, "connection lost contact"},
      {12154, "TNS:could not resolve the connect identifier specified"},
      {12162, "TNS:net service name is incorrectly specified"},
      {12203, "TNS:unable to connect to destination"},
      {12541, "TNS:no listener"},
      {12571, "TNS:packet writer failure"},
      {12705, "Cannot access NLS data files or invalid environment specified"},
      {12899, "value too large for column %s (actual: %s, maximum: %s)"},
      {24338, "statement handle not executed"},
      {25137, "Data value out of range"},
      {24344, "success with compilation error"},
      {24345, "A Truncation or null fetch error occurred"},
      {30088, "datetime/interval precision is out of range"},
      {28002, "the password will expire within %s days"},
  };
  return table;
}

}  // namespace

std::string formatOraMessage(int code, const char* text, const std::vector<std::string>& args) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", code);
  std::string out = prefix;
  size_t next = 0;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += next < args.size() ? args[next] : std::string();
      ++next;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string oraMessage(int code, const std::vector<std::string>& args) {
  auto it = texts().find(code);
  if (it == texts().end())
    return formatOraMessage(code, "message %s not found", {std::to_string(code)});
  return formatOraMessage(code, it->second, args);
}

void raise(int code, const std::vector<std::string>& args, int parseOffset) {
  throw OraError(code, oraMessage(code, args), parseOffset);
}

}  // namespace standin
