// standin-admin: creates stand-in servers and their users, runs SQL scripts, loads CSV files,
// generates tables and lists them.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "standin/engine/engine.h"

namespace {

const char* const kUsage =
    "usage: standin-admin <command> <arguments>\n"
    "\n"
    "  create-server <folder> [--charset NAME] [--release X.Y] [--replace]\n"
    "                                            make an empty server folder; its database\n"
    "                                            character set (AL32UTF8, UTF8, CL8MSWIN1251,\n"
    "                                            CL8ISO8859P5) and release (8.0, 8.1, 9.2,\n"
    "                                            10.2, 11.2, 12.1, 12.2, 19, 23; default\n"
    "                                            AL32UTF8 and 10.2)\n"
    "  create-user <folder> <user> <password>    add a user with an empty schema\n"
    "  run <folder> <user> [<script.sql>...]     run SQL scripts (standard input when none)\n"
    "  sql <folder> <user> <statement>           run one statement, print a query's rows\n"
    "  load-csv <folder> <user> <table> <file.csv> [<date format>]\n"
    "                                            load a CSV file (first line: column names;\n"
    "                                            dates read with 'YYYY-MM-DD HH24:MI:SS')\n"
    "  generate <folder> <user> <table> <rows> [<columns>]\n"
    "                                            create a table of generated rows (10 columns)\n"
    "  tables <folder> <user>                    list the user's tables\n"
    "  create-demo <folder> <scripts folder>     build the demo server from its scripts\n"
    "\n"
    "A folder is a server folder (see standin/admin/README.md); the server text of a connect\n"
    "string is its name inside the data folder or its path.\n";

std::string readAll(std::istream& in) {
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

long long number(const std::string& s, const char* what) {
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < 0)
    throw std::invalid_argument(std::string(what) + " must be a number: " + s);
  return v;
}

void printRows(standin::Cursor& c) {
  const auto& cols = c.columns();
  for (size_t i = 0; i < cols.size(); ++i) std::cout << (i ? "\t" : "") << cols[i].name;
  std::cout << "\n";
  while (c.step()) {
    for (size_t i = 0; i < cols.size(); ++i) {
      int k = static_cast<int>(i);
      if (i) std::cout << "\t";
      switch (c.kind(k)) {
        case standin::ValueKind::Null:
          break;
        case standin::ValueKind::Integer:
        case standin::ValueKind::Real:
          std::cout << c.numberText(k);
          break;
        case standin::ValueKind::Date: {
          standin::DateTime d = c.asDate(k);
          char buf[32];
          std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                        d.hour, d.minute, d.second);
          std::cout << buf;
          break;
        }
        case standin::ValueKind::Bytes:
          std::cout << "<" << c.asBytes(k).size() << " bytes>";
          break;
        case standin::ValueKind::Text:
          std::cout << c.asText(k);
          break;
      }
    }
    std::cout << "\n";
  }
}

int run(const std::vector<std::string>& a) {
  if (a.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string& cmd = a[0];
  auto need = [&](size_t lo, size_t hi) {
    if (a.size() - 1 < lo || a.size() - 1 > hi)
      throw std::invalid_argument("wrong number of arguments for " + cmd);
  };
  if (cmd == "create-server") {
    need(1, 6);
    bool replace = false;
    std::string charset, release;
    for (size_t i = 2; i < a.size(); ++i) {
      if (a[i] == "--replace") {
        replace = true;
      } else if (a[i] == "--charset" || a[i] == "--release") {
        if (i + 1 == a.size()) throw std::invalid_argument(a[i] + " needs a value");
        (a[i] == "--charset" ? charset : release) = a[i + 1];
        if (a[i + 1].empty()) throw std::invalid_argument(a[i] + " needs a value");
        ++i;
      } else {
        throw std::invalid_argument("unknown option " + a[i]);
      }
    }
    // The options are checked before anything is removed or made.
    standin::checkServerOptions(charset, release);
    if (replace) {
      std::filesystem::remove_all(a[1]);
    } else if (std::filesystem::exists(std::filesystem::path(a[1]) / "users")) {
      throw std::runtime_error("a server exists already in " + a[1] + " (use --replace)");
    }
    standin::createServer(a[1], charset, release);
  } else if (cmd == "create-user") {
    need(3, 3);
    standin::createUser(a[1], a[2], a[3]);
  } else if (cmd == "run") {
    need(2, 1000);
    auto session = standin::openSession(a[1], a[2]);
    if (a.size() == 3) {
      standin::runScript(*session, readAll(std::cin), "<stdin>");
    }
    for (size_t i = 3; i < a.size(); ++i) {
      std::ifstream in(a[i], std::ios::binary);
      if (!in) throw std::runtime_error("cannot read " + a[i]);
      standin::runScript(*session, readAll(in), a[i]);
    }
  } else if (cmd == "sql") {
    need(3, 3);
    auto session = standin::openSession(a[1], a[2]);
    auto cursor = session->prepare(a[3]);
    uint64_t n = cursor->execute();
    if (cursor->type() == standin::StmtType::Select)
      printRows(*cursor);
    else if (cursor->type() == standin::StmtType::Insert ||
             cursor->type() == standin::StmtType::Update ||
             cursor->type() == standin::StmtType::Delete)
      std::cout << n << " rows\n";
    session->commit();
  } else if (cmd == "load-csv") {
    need(4, 5);
    std::ifstream in(a[4], std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + a[4]);
    auto session = standin::openSession(a[1], a[2]);
    long long n = standin::loadCsv(*session, a[3], readAll(in),
                                   a.size() == 6 ? a[5] : "YYYY-MM-DD HH24:MI:SS");
    std::cout << n << " rows loaded\n";
  } else if (cmd == "generate") {
    need(4, 5);
    long long rows = number(a[4], "rows");
    int columns = a.size() == 6 ? static_cast<int>(number(a[5], "columns")) : 10;
    standin::generateTable(a[1], a[2], a[3], rows, columns);
  } else if (cmd == "tables") {
    need(2, 2);
    auto session = standin::openSession(a[1], a[2]);
    auto cursor = session->prepare("select table_name from user_tables order by 1");
    cursor->execute();
    while (cursor->step()) std::cout << cursor->asText(0) << "\n";
  } else if (cmd == "create-demo") {
    need(2, 2);
    std::filesystem::remove_all(a[1]);
    standin::createDemoServer(a[1], a[2]);
  } else if (cmd == "help" || cmd == "--help" || cmd == "-h") {
    std::cout << kUsage;
  } else {
    throw std::invalid_argument("unknown command " + cmd);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return run(args);
  } catch (const std::invalid_argument& e) {
    std::cerr << "standin-admin: " << e.what() << "\n\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "standin-admin: " << e.what() << "\n";
    return 1;
  }
}
