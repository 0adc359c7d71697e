#pragma once
// The Oracle client library as the rest of the program sees it: the process-wide loading state,
// the table of entry points through which every OCI call is made, discovery and loading of the
// library file, creation of the process-wide environment and error handles, and the conversion of
// an OCI status into an exception.
//
// Nothing is loaded at program start: every entry point refers to a routine that raises
// "OCI function is not linked" until LoadOCI resolves it.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "oracle/OCIEntryPoints.h"
#include "oracle/oci.h"

namespace tarnwick {

enum class TOCICallStyle : uint8_t { None = 0, OCI73 = 1, OCI80 = 2 };

// A set of call styles; OCI73 has bit value 2 and OCI80 bit value 4.
struct TOCICallStyleSet {
  uint8_t bits = 0;
  static constexpr uint8_t Bit(TOCICallStyle s) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(s));
  }
  bool Contains(TOCICallStyle s) const { return (bits & Bit(s)) != 0; }
  void Include(TOCICallStyle s) { bits |= Bit(s); }
  bool Empty() const { return bits == 0; }
  bool operator==(const TOCICallStyleSet&) const = default;
};

inline constexpr int MaxOracleHomes = 10;

// ---- Process-wide state (values at program start in the comments) ----
extern std::string OCIDLL;                      // "" path of the client library file
extern std::string OCIClientDLL;                // "" path of the file with the 9.0 extras
extern std::string OCIVersionSt;                // "" the library file's version text
extern uint16_t OCIVersion;                     // 0  VersionStrToWord(OCIVersionSt)
extern TOCICallStyle OCICallStyle;              // None
extern TOCICallStyleSet PossibleOCICallStyles;  // empty
extern bool ObjectVersion;                      // true
extern bool ThreadSafety;                       // false
extern bool OCIThreaded;                        // true
extern bool OCIMutexed;                         // true
extern bool OCIShared;                          // false
extern bool OCIEvents;                          // false
extern bool OCIInited;                          // false
extern OCIEnv* hOCIEnv;                         // none
extern OCIError* hOCIError;                     // none
extern bool OCILite;                            // false
extern int OracleHomeCount;                     // 0
extern std::array<std::string, MaxOracleHomes> OracleHomePaths;
extern std::array<std::string, MaxOracleHomes> OracleHomeNames;
extern int DefaultOracleHome;       // -1
extern std::string OracleHomePath;  // ""
extern std::string OracleHomeName;  // "" (empty: the default home)
extern void* OCILibHandle;          // none
extern void* OCIClientLibHandle;    // none
extern std::mutex OCIInitLock;
// Accept clients of version 11 and later (false: only 7.3 and 8 to 10, the clients the program
// was made for). Such a client is used with the version 8 call style, as a client 8 to 10 is:
// everything the program calls exists in it. The front ends set this from the user's opt-in
// before they connect (ClientOptIn in the export library).
extern bool AcceptNewerClient;  // false

// A failure to find, accept, load or initialise the client library. Its texts are the loader's
// own ("Cannot find OCI DLL: ...", "OCI version ... is not supported", ...); the class lets a
// front end tell a client that cannot be used from a server that refuses a connection.
class EClientLibraryError : public Exception {
 public:
  using Exception::Exception;
};

// ---- The entry-point table ----
// One pointer per client function, named as the function. The pointer types are p<Name>.
#define TARNWICK_OCI_TYPEDEF(group, name, ret, params) using p##name = ret(*) params;
TARNWICK_OCI_ENTRY_POINTS(TARNWICK_OCI_TYPEDEF)
#undef TARNWICK_OCI_TYPEDEF
#define TARNWICK_OCI_DECLARE(group, name, ret, params) extern p##name name;
TARNWICK_OCI_ENTRY_POINTS(TARNWICK_OCI_DECLARE)
#undef TARNWICK_OCI_DECLARE

// Raises Exception "OCI function is not linked". Every entry point refers to a routine that
// calls it until the name is resolved from a loaded library.
[[noreturn]] void UnlinkedEntryPoint();

enum class OCIEntryGroup : uint8_t { OCI73, OCI80, OBJ, V81, V90, V90C };

struct OCIEntryPointInfo {
  const char* name;
  OCIEntryGroup group;
  bool linked;  // resolved from the loaded library
};
// The table in resolution order, with the current state of each entry.
std::vector<OCIEntryPointInfo> OCIEntryPoints();
// Points every entry back to UnlinkedEntryPoint (sqllda and sqlld2 to nothing). The handles of
// the library that was linked are gone with it: the environment epoch moves on.
void ResetOCIEntryPoints();
// The environment epoch: a number that moves on whenever the process-wide environment is freed
// (FinishOCI) or the entry points are reset (an unload). A handle made in one epoch no longer
// exists in a later one; the handle owners of OCIHandle.h free nothing then.
uint64_t OCIEnvironmentEpoch() noexcept;

// ---- Discovery inputs ----
// Everything DetectOCI reads from the machine comes through here, so that tests can describe an
// installation with temporary files instead of the real one.
struct OCIDiscoveryInputs {
  std::string oratabPath;  // "/etc/oratab"
  std::function<std::optional<std::string>(const std::string&)> getEnv;
  std::function<void(const std::string&, const std::string&)> setEnv;
  std::vector<std::string> loaderDirs;  // the dynamic loader's search order, for libclntsh.so
  std::string executableDir;            // folder of the running program (the stand-in beside it)

  // The real machine: /etc/oratab, the process environment, LD_LIBRARY_PATH followed by the
  // loader's configured and default folders, and the folder of /proc/self/exe.
  static OCIDiscoveryInputs FromProcess();
};
const OCIDiscoveryInputs& OCIDiscovery();
// Replaces the inputs (tests); the real machine is used until this is called.
void SetOCIDiscovery(OCIDiscoveryInputs inputs);

// ---- Operations ----
uint16_t VersionStrToWord(const std::string& text);
void DetectOCI();
void LoadOCI();
bool LoadedOCI();
void InitOCI();
void FinishOCI();
void FreeOCI();

void CheckOCI();
void CheckOCI73();
void CheckOCI80();
void CheckOCI81();
void CheckOCI90();

bool GetThreadSafety();
void SetThreadSafety(bool value);

uint32_t GetHeapAlloc();
uint32_t GetSharedHeapAlloc();

// Reads the error record of an OCI status into `message` and returns the error code (see the
// rules in Oracall.cpp). An empty handle means hOCIError.
int32_t GetOraError(sword status, std::string& message, OCIError* errorHandle = nullptr);
// Raises EOraError for a status other than OCI_SUCCESS_WITH_INFO.
void OraError(sword status, OCIError* errorHandle = nullptr);
// OraError for every status other than OCI_SUCCESS; used where no connection is at hand.
inline void Check(sword status, OCIError* errorHandle = nullptr) {
  if (status != OCI_SUCCESS) OraError(status, errorHandle);
}

}  // namespace tarnwick
