#pragma once
// The strict reader of the table files that the DBF writer makes. Every rule of the writer's
// layout is checked: the header (version byte, date, record and header lengths, the zero bytes and
// the code page mark), each field descriptor (name, displacement, zero bytes), the terminator 0Dh
// that ends the header, the record count against the file's size, and the end of the file, which
// is the last counted record: the writer never writes an end-of-file byte 1Ah. A file that breaks
// a rule is reported as a failure of the running test, naming the file and the rule; what could be
// read is returned all the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::testsupport {

struct DbfField {
  std::string name;
  char type = 0;
  int length = 0;
  int decimals = 0;
  bool operator==(const DbfField&) const = default;
};

struct DbfTable {
  uint32_t count = 0;  // the header's record count
  uint32_t headerLength = 0;
  uint32_t recordLength = 0;
  uint8_t codePageMark = 0;
  std::vector<DbfField> fields;
  // The counted records as they lie in the file, deletion flag first, in the table's code page.
  std::vector<std::string> records;
  std::size_t fileSize = 0;
  // Bytes after the counted records: a record written but not yet counted when the writer
  // stopped. Always 0 for a file read as DbfEnd::Complete.
  std::size_t trailing = 0;

  std::vector<std::string> FieldNames() const {
    std::vector<std::string> names;
    for (const DbfField& f : fields) names.push_back(f.name);
    return names;
  }
};

enum class DbfEnd {
  // The file ends with its last counted record, or with the terminator when it counts none.
  Complete,
  // The writer may have been stopped between writing a record and counting it: after the
  // counted records there may be at most one record's length of bytes, starting with the
  // deletion flag.
  MayHoldAnUncountedRecord,
};

DbfTable ReadDbf(const std::string& path, DbfEnd end = DbfEnd::Complete);

}  // namespace tarnwick::testsupport
