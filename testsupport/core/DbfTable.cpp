#include "testsupport/core/DbfTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace tarnwick::testsupport {

namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr uint8_t kVersionPlain = 0x03;
constexpr uint8_t kVersionWithMemo = 0xF5;
constexpr uint8_t kCodePage866Mark = 0x65;
constexpr uint8_t kTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;

bool AllZero(const std::string& bytes, std::size_t from, std::size_t to) {
  for (std::size_t at = from; at < to; ++at) {
    if (bytes[at] != 0) return false;
  }
  return true;
}

}  // namespace

DbfTable ReadDbf(const std::string& path, DbfEnd end) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DbfTable t;
  t.fileSize = bytes.size();
  if (bytes.size() < kHeaderSize + 1) {
    ADD_FAILURE() << path << ": " << bytes.size() << " bytes, no table header and terminator";
    return t;
  }
  auto u8 = [&](std::size_t at) { return static_cast<uint8_t>(bytes[at]); };
  auto le16 = [&](std::size_t at) { return static_cast<uint32_t>(u8(at) | u8(at + 1) << 8); };
  auto le32 = [&](std::size_t at) { return le16(at) | le16(at + 2) << 16; };

  // The header.
  t.count = le32(4);
  t.headerLength = le16(8);
  t.recordLength = le16(10);
  t.codePageMark = u8(29);
  EXPECT_TRUE(u8(2) >= 1 && u8(2) <= 12 && u8(3) >= 1 && u8(3) <= 31)
      << path << ": the date of creation has month " << int{u8(2)} << ", day " << int{u8(3)};
  EXPECT_TRUE(AllZero(bytes, 12, 29)) << path << ": header bytes 12 to 28 are not zero";
  EXPECT_EQ(t.codePageMark, kCodePage866Mark) << path << ": code page mark";
  EXPECT_TRUE(AllZero(bytes, 30, 32)) << path << ": header bytes 30 and 31 are not zero";

  // The field descriptors, up to the terminator.
  std::size_t at = kHeaderSize;
  uint32_t displacement = 1;
  bool memo = false;
  for (; at + kDescriptorSize <= bytes.size() && u8(at) != kTerminator; at += kDescriptorSize) {
    const std::string name = bytes.substr(at, 11);
    const std::size_t nul = name.find('\0');
    DbfField field{name.substr(0, nul), bytes[at + 11], u8(at + 16), u8(at + 17)};
    EXPECT_TRUE(nul == std::string::npos || AllZero(name, nul, name.size()))
        << path << ": the name of field " << field.name << " is not filled up with zero bytes";
    EXPECT_EQ(le32(at + 12), displacement) << path << ": displacement of field " << field.name;
    EXPECT_TRUE(AllZero(bytes, at + 18, at + kDescriptorSize))
        << path << ": descriptor bytes 18 to 31 of field " << field.name << " are not zero";
    memo = memo || field.type == 'M';
    displacement += static_cast<uint32_t>(field.length);
    t.fields.push_back(std::move(field));
  }
  if (at >= bytes.size() || u8(at) != kTerminator) {
    ADD_FAILURE() << path << ": no terminator 0Dh after " << t.fields.size()
                  << " field descriptors";
    return t;
  }
  EXPECT_EQ(u8(0), memo ? kVersionWithMemo : kVersionPlain) << path << ": version byte";
  EXPECT_EQ(t.headerLength, at + 1) << path << ": the header length ends at the terminator";
  EXPECT_EQ(t.recordLength, displacement) << path << ": record length = 1 + the field lengths";
  if (t.headerLength != at + 1 || t.recordLength == 0) return t;

  // The records the header counts, and the end of the file.
  const std::size_t counted = t.headerLength + std::size_t{t.count} * t.recordLength;
  if (bytes.size() < counted) {
    ADD_FAILURE() << path << ": " << bytes.size() << " bytes, fewer than the " << t.count
                  << " records of " << t.recordLength << " bytes that the header counts";
    return t;
  }
  t.trailing = bytes.size() - counted;
  if (t.trailing == 1 && u8(counted) == kEndOfFile) {
    ADD_FAILURE() << path << ": ends with an end-of-file byte 1Ah, which the writer never writes";
  } else if (end == DbfEnd::Complete) {
    EXPECT_EQ(t.trailing, 0u) << path << ": bytes after the " << t.count << " counted records";
  } else if (t.trailing > 0) {
    EXPECT_LE(t.trailing, t.recordLength) << path << ": bytes after the counted records";
    EXPECT_EQ(bytes[counted], ' ') << path << ": the uncounted bytes are no record";
  }
  for (uint32_t i = 0; i < t.count; ++i) {
    t.records.push_back(
        bytes.substr(t.headerLength + std::size_t{i} * t.recordLength, t.recordLength));
    if (t.records.back()[0] != ' ') {
      ADD_FAILURE() << path << ": record " << i << " has no deletion flag";
      break;
    }
  }
  return t;
}

}  // namespace tarnwick::testsupport
