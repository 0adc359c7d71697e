// engine-bench: the engine's share of the fetch path. Generates a table of N rows x 10 columns
// (default one million) in a temporary server, then reads every value of every row twice: through
// Cursor (step, and value() for each value, as the client library's fetch reads them) and through a
// plain SQLite loop over the same stored rows. Prints both times and their ratio.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "standin/engine/engine.h"

namespace {

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
  long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
  char pattern[] = "/tmp/standin-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  std::filesystem::path root = pattern;
  std::string folder = (root / "srv").string();
  int rc = 0;
  try {
    standin::createServer(folder);
    standin::createUser(folder, "bench", "bench");
    auto t0 = std::chrono::steady_clock::now();
    standin::generateTable(folder, "bench", "BENCH", rows, 10);
    auto t1 = std::chrono::steady_clock::now();
    std::printf("generated %lld rows x 10 columns in %.2f s\n", rows, seconds(t0, t1));

    // Through the engine.
    auto session = standin::Server::attach(folder)->logon("bench", "bench");
    double checksum = 0;
    auto t2 = std::chrono::steady_clock::now();
    auto cursor = session->prepare("select * from BENCH");
    cursor->execute();
    const int columns = static_cast<int>(cursor->columns().size());
    long long n = 0;
    while (cursor->step()) {
      ++n;
      for (int c = 0; c < columns; ++c) {
        const standin::Value v = cursor->value(c);
        switch (v.kind) {
          case standin::ValueKind::Integer:
            checksum += static_cast<double>(v.integer);
            break;
          case standin::ValueKind::Real:
            checksum += v.real;
            break;
          case standin::ValueKind::Text:
            checksum += static_cast<double>(v.text.size());
            break;
          case standin::ValueKind::Date:
            checksum += v.dateValid ? v.date.day : cursor->asDate(c).day;
            break;
          default:
            break;
        }
      }
    }
    auto t3 = std::chrono::steady_clock::now();

    // A plain SQLite loop over the same stored rows, reading each value as it is stored.
    sqlite3* db = nullptr;
    sqlite3_open_v2((std::filesystem::path(folder) / "BENCH.db").c_str(), &db,
                    SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt* st = nullptr;
    auto t4 = std::chrono::steady_clock::now();
    sqlite3_prepare_v2(db, "SELECT * FROM \"BENCH\"", -1, &st, nullptr);
    double plainChecksum = 0;
    long long m = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++m;
      for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_BLOB:
            plainChecksum += sqlite3_column_bytes(st, c) +
                             *static_cast<const unsigned char*>(sqlite3_column_blob(st, c));
            break;
          case SQLITE_TEXT:
            plainChecksum += sqlite3_column_bytes(st, c) + sqlite3_column_text(st, c)[0];
            break;
          default:
            break;
        }
      }
    }
    auto t5 = std::chrono::steady_clock::now();
    sqlite3_finalize(st);
    sqlite3_close(db);

    double engine = seconds(t2, t3), plain = seconds(t4, t5);
    std::printf("engine cursor: %lld rows in %.3f s (checksum %.0f)\n", n, engine, checksum);
    std::printf("plain sqlite:  %lld rows in %.3f s (checksum %.0f)\n", m, plain, plainChecksum);
    std::printf("ratio engine/plain: %.2f\n", plain > 0 ? engine / plain : 0.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "engine-bench: %s\n", e.what());
    rc = 1;
  }
  std::filesystem::remove_all(root);
  return rc;
}
