#pragma once
// Shell commands for tests, and the independent DBF reader they run most: Debian's python3-dbf.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/core/ScratchDir.h"

namespace tarnwick::testsupport {

struct CommandResult {
  int status = -1;  // the exit status; -1 when the command could not run or did not exit
  std::string output;
};

// Runs `command` with /bin/sh and collects its standard output.
CommandResult RunCommand(const std::string& command);

// `text` in single quotes for the shell.
std::string ShellQuote(const std::string& text);

// The Python that has Debian's dbf module (TARNWICK_SYSTEM_PYTHON of the build).
const char* SystemPython();

// Empty when python3-dbf can be used, else the reason it cannot.
std::string PythonDbfMissing();

// Success when python3-dbf can be used, else a failure with the reason. A check that needs the
// reader asserts this and fails without it rather than being skipped: scripts/deps.sh installs
// the module, on a developer's machine and in CI alike.
::testing::AssertionResult PythonDbfAvailable();

// A python3-dbf reader that prints one item per line:
//   COUNT <records> / CODEPAGE <name> / FIELD <NAME> <type> <length> <decimals> / REC, then one
//   "V ..." line per field: a character value in brackets, spaces kept, decoded from the table's
//   code page; a date as yyyymmdd; a number as Python writes it; None for a blank date or number.
extern const char* const kPythonDbfFieldReader;

// Runs a python3-dbf reader `script` (kPythonDbfFieldReader unless given) on `table`, the script
// written into `dir`; the output of a failed run ends with the error text.
CommandResult ReadWithPythonDbf(const ScratchDir& dir, const std::string& table,
                                const char* script = kPythonDbfFieldReader);

}  // namespace tarnwick::testsupport
