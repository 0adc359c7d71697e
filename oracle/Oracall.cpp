// Sections: state; entry-point table; discovery inputs; version text; DetectOCI; LoadOCI and
// FreeOCI; InitOCI and FinishOCI; guards; error records.
#include "oracle/Oracall.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <type_traits>

#include "oracle/OCIHandle.h"
#include "oracle/OraError.h"

namespace tarnwick {

namespace fs = std::filesystem;

// ---- State ----
std::string OCIDLL;
std::string OCIClientDLL;
std::string OCIVersionSt;
uint16_t OCIVersion = 0;
TOCICallStyle OCICallStyle = TOCICallStyle::None;
TOCICallStyleSet PossibleOCICallStyles;
bool ObjectVersion = true;
bool ThreadSafety = false;
bool OCIThreaded = true;
bool OCIMutexed = true;
bool OCIShared = false;
bool OCIEvents = false;
bool OCIInited = false;
OCIEnv* hOCIEnv = nullptr;
OCIError* hOCIError = nullptr;
bool OCILite = false;
int OracleHomeCount = 0;
std::array<std::string, MaxOracleHomes> OracleHomePaths;
std::array<std::string, MaxOracleHomes> OracleHomeNames;
int DefaultOracleHome = -1;
std::string OracleHomePath;
std::string OracleHomeName;
void* OCILibHandle = nullptr;
void* OCIClientLibHandle = nullptr;
std::mutex OCIInitLock;
bool AcceptNewerClient = false;

namespace {
std::atomic<uint64_t> environmentEpoch{0};

// The owners of the process-wide handles that hOCIEnv and hOCIError show. Defined before the
// shutdown object below so that they outlive it: it frees them while the library is still
// loaded, and they are empty by the time they are destroyed.
TOCIHandle<OCIEnv, OCI_HTYPE_ENV> ownedEnv;
TOCIHandle<OCIError, OCI_HTYPE_ERROR> ownedError;

// The library is unloaded when the program ends; its addresses are cleared with it.
struct OracallShutdown {
  ~OracallShutdown() {
    try {
      FreeOCI();
    } catch (...) {
    }
  }
} oracallShutdown;
}  // namespace

// ---- Entry-point table ----

void UnlinkedEntryPoint() {
  throw Exception("OCI function is not linked");
}

namespace {

template <typename F>
struct Unlinked;
template <typename R, typename... A>
struct Unlinked<R (*)(A...)> {
  static R Call(A...) { UnlinkedEntryPoint(); }
};

// sqllda and sqlld2 start empty rather than unlinked.
template <typename F>
F StartValue(const char* name) {
  return (std::strcmp(name, "sqllda") == 0 || std::strcmp(name, "sqlld2") == 0)
             ? nullptr
             : &Unlinked<F>::Call;
}

}  // namespace

#define TARNWICK_OCI_DEFINE(group, name, ret, params) p##name name = StartValue<p##name>(#name);
TARNWICK_OCI_ENTRY_POINTS(TARNWICK_OCI_DEFINE)
#undef TARNWICK_OCI_DEFINE

void ResetOCIEntryPoints() {
#define TARNWICK_OCI_RESET(group, name, ret, params) name = StartValue<p##name>(#name);
  TARNWICK_OCI_ENTRY_POINTS(TARNWICK_OCI_RESET)
#undef TARNWICK_OCI_RESET
  environmentEpoch.fetch_add(1, std::memory_order_relaxed);
}

uint64_t OCIEnvironmentEpoch() noexcept {
  return environmentEpoch.load(std::memory_order_relaxed);
}

std::vector<OCIEntryPointInfo> OCIEntryPoints() {
  std::vector<OCIEntryPointInfo> out;
#define TARNWICK_OCI_INFO(group, name, ret, params) \
  out.push_back({#name, OCIEntryGroup::group, name != StartValue<p##name>(#name)});
  TARNWICK_OCI_ENTRY_POINTS(TARNWICK_OCI_INFO)
#undef TARNWICK_OCI_INFO
  return out;
}

namespace {

bool GroupWanted(OCIEntryGroup group) {
  const bool oci73 = PossibleOCICallStyles.Contains(TOCICallStyle::OCI73);
  const bool oci80 = PossibleOCICallStyles.Contains(TOCICallStyle::OCI80);
  switch (group) {
    case OCIEntryGroup::OCI73:
      return oci73;
    case OCIEntryGroup::OCI80:
      return oci80;
    case OCIEntryGroup::OBJ:
      return oci80 && ObjectVersion;
    case OCIEntryGroup::V81:
      return OCIVersion >= 8100;
    case OCIEntryGroup::V90:
    case OCIEntryGroup::V90C:
      return OCIVersion >= 9000;
  }
  return false;
}

// Resolves the wanted groups, in table order; a name the file does not export stays unlinked.
void ResolveEntryPoints() {
#define TARNWICK_OCI_RESOLVE(group, name, ret, params)                                   \
  if (GroupWanted(OCIEntryGroup::group)) {                                               \
    void* module =                                                                       \
        OCIEntryGroup::group == OCIEntryGroup::V90C ? OCIClientLibHandle : OCILibHandle; \
    if (void* symbol = module ? dlsym(module, #name) : nullptr)                          \
      name = reinterpret_cast<p##name>(symbol);                                          \
  }
  TARNWICK_OCI_ENTRY_POINTS(TARNWICK_OCI_RESOLVE)
#undef TARNWICK_OCI_RESOLVE
}

// ---- Discovery inputs ----

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    auto pos = text.find(sep, start);
    parts.push_back(text.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
    if (pos == std::string::npos) break;
    start = pos + 1;
  }
  return parts;
}

std::string Trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> LoaderConfigDirs(const fs::path& conf, int depth) {
  std::vector<std::string> dirs;
  std::ifstream in(conf);
  std::string line;
  while (depth < 4 && std::getline(in, line)) {
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    if (line.rfind("include", 0) == 0) {
      const fs::path pattern = Trim(line.substr(7));
      std::error_code ec;
      std::vector<fs::path> files;
      for (const auto& e : fs::directory_iterator(pattern.parent_path(), ec))
        if (e.path().extension() == ".conf") files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files)
        for (auto& d : LoaderConfigDirs(f, depth + 1)) dirs.push_back(std::move(d));
    } else {
      dirs.push_back(line);
    }
  }
  return dirs;
}

std::optional<OCIDiscoveryInputs>& DiscoveryStorage() {
  // Empty until first needed, so that inputs set by a test never make the real machine be read.
  static std::optional<OCIDiscoveryInputs> inputs;
  return inputs;
}

}  // namespace

OCIDiscoveryInputs OCIDiscoveryInputs::FromProcess() {
  OCIDiscoveryInputs in;
  in.oratabPath = "/etc/oratab";
  in.getEnv = [](const std::string& name) -> std::optional<std::string> {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return std::string(v);
  };
  in.setEnv = [](const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
  };
  if (const char* ld = std::getenv("LD_LIBRARY_PATH"))
    for (auto& d : Split(ld, ':'))
      if (!d.empty()) in.loaderDirs.push_back(d);
  for (auto& d : LoaderConfigDirs("/etc/ld.so.conf", 0)) in.loaderDirs.push_back(std::move(d));
  for (const char* d : {"/lib64", "/usr/lib64", "/lib", "/usr/lib"}) in.loaderDirs.push_back(d);
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) in.executableDir = exe.parent_path().string();
  return in;
}

const OCIDiscoveryInputs& OCIDiscovery() {
  auto& inputs = DiscoveryStorage();
  if (!inputs) inputs = OCIDiscoveryInputs::FromProcess();
  return *inputs;
}

void SetOCIDiscovery(OCIDiscoveryInputs inputs) {
  DiscoveryStorage() = std::move(inputs);
}

// ---- Version text ----

uint16_t VersionStrToWord(const std::string& text) {
  std::string rest = Trim(text);
  uint32_t result = 0;
  for (int step = 0; step < 4; ++step) {
    if (rest.empty()) {
      result *= 10;
      continue;
    }
    const auto dot = rest.find('.');
    const std::string part = rest.substr(0, dot);
    rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
    int value = 0;
    const char* first = part.data();
    const char* last = part.data() + part.size();
    if (first != last && *first == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || first == last) value = 0;
    result = result * 10 + static_cast<uint32_t>(value);
  }
  return static_cast<uint16_t>(result);
}

// ---- DetectOCI ----

namespace {

[[noreturn]] void ClientError(const std::string& message) {
  throw EClientLibraryError(message);
}

constexpr const char* kLibraryName = "libclntsh.so";

bool IsRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);  // follows symbolic links
}

std::string WithoutTrailingSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// The version of a file named libclntsh.so.X.Y...: the text after ".so.", empty otherwise.
std::string VersionOfName(const std::string& fileName) {
  const std::string prefix = std::string(kLibraryName) + ".";
  if (fileName.rfind(prefix, 0) != 0 || fileName.size() == prefix.size()) return {};
  const std::string v = fileName.substr(prefix.size());
  if (!std::all_of(v.begin(), v.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }))
    return {};
  return v;
}

// Follows the chain of symbolic links from `path` to the file that is loaded and returns the
// versioned name met last, that is nearest to that file. A client carries its version in the name
// of its real file (libclntsh.so.19.1); the links before it may carry older numbers, since newer
// clients ship links such as libclntsh.so.10.1 -> libclntsh.so.19.1 for programs built against
// older ones, and the version is the file's, not the link's.
std::string VersionOfFile(const std::string& path) {
  fs::path p = path;
  std::string version;
  for (int hops = 0; hops < 40; ++hops) {
    if (std::string v = VersionOfName(p.filename().string()); !v.empty()) version = std::move(v);
    std::error_code ec;
    if (!fs::is_symlink(p, ec)) break;
    fs::path target = fs::read_symlink(p, ec);
    if (ec) break;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  return version;
}

bool VersionLess(const std::string& a, const std::string& b) {
  auto pa = Split(a, '.'), pb = Split(b, '.');
  for (std::size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
    unsigned long x = i < pa.size() && !pa[i].empty() ? std::stoul(pa[i]) : 0;
    unsigned long y = i < pb.size() && !pb[i].empty() ? std::stoul(pb[i]) : 0;
    if (x != y) return x < y;
  }
  return false;
}

// The versioned library file with the greatest version in `dirs`, or "".
std::string GreatestVersioned(const std::vector<fs::path>& dirs) {
  std::string best, bestVersion;
  for (const auto& dir : dirs) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      const std::string v = VersionOfName(e.path().filename().string());
      if (v.empty() || !IsRegularFile(e.path())) continue;
      if (best.empty() || VersionLess(bestVersion, v)) {
        best = e.path().string();
        bestVersion = v;
      }
    }
  }
  return best;
}

// libclntsh.so in home/lib, then in the home itself, then the greatest versioned file.
std::string FindInHome(const std::string& home) {
  for (const fs::path& p : {fs::path(home) / "lib" / kLibraryName, fs::path(home) / kLibraryName})
    if (IsRegularFile(p)) return p.string();
  return GreatestVersioned({fs::path(home) / "lib", fs::path(home)});
}

// libclntsh.so by the loader's search order, else the stand-in installed beside the program.
std::string FindByLoaderOrder(const OCIDiscoveryInputs& in) {
  for (const auto& dir : in.loaderDirs) {
    const fs::path p = fs::path(dir) / kLibraryName;
    if (IsRegularFile(p)) return p.string();
  }
  if (!in.executableDir.empty()) {
    const fs::path p = fs::path(in.executableDir) / "standin" / kLibraryName;
    if (IsRegularFile(p)) return p.string();
  }
  return {};
}

void ReadOratab(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const auto fields = Split(line, ':');
    if (fields.size() < 2) continue;
    const std::string name = Trim(fields[0]);
    const std::string home = Trim(fields[1]);
    if (name.empty() || home.empty()) continue;
    if (OracleHomeCount >= MaxOracleHomes) break;
    const bool known =
        std::any_of(OracleHomeNames.begin(), OracleHomeNames.begin() + OracleHomeCount,
                    [&](const std::string& n) {
                      return n.size() == name.size() &&
                             std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                               return std::tolower(static_cast<unsigned char>(a)) ==
                                      std::tolower(static_cast<unsigned char>(b));
                             });
                    });
    if (known) continue;
    OracleHomePaths[OracleHomeCount] = home;
    OracleHomeNames[OracleHomeCount] = name;
    ++OracleHomeCount;
  }
}

}  // namespace

void DetectOCI() {
  const OCIDiscoveryInputs& in = OCIDiscovery();
  // 1. No homes known.
  OracleHomeCount = 0;
  for (auto& p : OracleHomePaths) p.clear();
  for (auto& n : OracleHomeNames) n.clear();
  DefaultOracleHome = -1;

  // 2. The homes of the oratab, in file order.
  std::error_code ec;
  const bool oratabExists = !in.oratabPath.empty() && fs::exists(in.oratabPath, ec);
  if (oratabExists) ReadOratab(in.oratabPath);

  // 3. The default home is the one whose bin folder comes first in PATH.
  if (OracleHomeCount > 0) {
    const std::string path = in.getEnv ? in.getEnv("PATH").value_or("") : "";
    for (const auto& raw : Split(path, ':')) {
      const std::string entry = Trim(raw);
      if (entry.empty()) continue;
      for (int i = 0; i < OracleHomeCount && DefaultOracleHome < 0; ++i) {
        const std::string home = WithoutTrailingSlash(OracleHomePaths[i]);
        if (entry == home + "/bin" || entry == home + "/bin/") DefaultOracleHome = i;
      }
      if (DefaultOracleHome >= 0) break;
    }
  }

  // 4-6. Where the library file is: a path set beforehand wins; else the chosen home's file; else
  // the loader's search order and, last, the stand-in beside the program.
  const std::optional<std::string> envHome = in.getEnv ? in.getEnv("ORACLE_HOME") : std::nullopt;
  if (!OCIDLL.empty()) {
    OracleHomePath = WithoutTrailingSlash(fs::path(OCIDLL).parent_path().string());
    const auto n = OracleHomePath.size();
    if (n >= 4 && (OracleHomePath.compare(n - 4, 4, "/lib") == 0 ||
                   OracleHomePath.compare(n - 4, 4, "/bin") == 0))
      OracleHomePath.erase(n - 4);
  } else {
    std::string home;
    if (OracleHomeName.empty()) {
      if (DefaultOracleHome >= 0)
        home = OracleHomePaths[DefaultOracleHome];
      else if (envHome && !envHome->empty())
        home = *envHome;
    } else {
      for (int i = 0; i < OracleHomeCount; ++i)
        if (OracleHomeNames[i] == OracleHomeName) home = OracleHomePaths[i];
      if (home.empty()) ClientError("Cannot find OCI DLL: in " + OracleHomeName);
    }
    if (!home.empty()) {
      home = WithoutTrailingSlash(home);
      OracleHomePath = home;
      OCIDLL = FindInHome(home);
      if (OCIDLL.empty() && !OracleHomeName.empty())
        ClientError("Cannot find OCI DLL: " + home + "/lib/" + kLibraryName + "*");
    }
    if (OCIDLL.empty()) OCIDLL = FindByLoaderOrder(in);
    if (OCIDLL.empty()) ClientError("Cannot find OCI DLL: ");
  }

  // 7. There is no lite edition of the client on Linux.
  OCILite = false;

  // 8. The version is carried by the file's name (libclntsh.so.10.1), through its links.
  OCIVersionSt = VersionOfFile(OCIDLL);
  OCIVersion = VersionStrToWord(OCIVersionSt);

  // 9. Acceptance: 7.3, and 8 to 10; 11 and later only when the user opted in, with the
  // styles of a client 8 to 10.
  if (OCIVersionSt.empty()) ClientError("Cannot find OCI DLL: " + OCIDLL);
  if (OCIVersion / 100 == 73) {
    PossibleOCICallStyles.Include(TOCICallStyle::OCI73);
    OCICallStyle = TOCICallStyle::OCI73;
  } else if ((OCIVersion / 1000 >= 8 && OCIVersion / 1000 <= 10) ||
             (AcceptNewerClient && OCIVersion / 1000 >= 11)) {
    PossibleOCICallStyles.Include(TOCICallStyle::OCI73);
    PossibleOCICallStyles.Include(TOCICallStyle::OCI80);
    if (OCICallStyle == TOCICallStyle::None) OCICallStyle = TOCICallStyle::OCI80;
  } else {
    ClientError("OCI version " + OCIVersionSt + " is not supported");
  }
  // One library file holds everything on Linux, so the 9.0 extras come from the same file.
  OCIClientDLL = OCIVersion >= 9000 ? OCIDLL : std::string();
}

// ---- LoadOCI and FreeOCI ----

namespace {

struct ModuleCloser {
  void operator()(void* h) const {
    if (h) dlclose(h);
  }
};
using ModuleHandle = std::unique_ptr<void, ModuleCloser>;

// Ends the environment and unloads the client files. Once the files are unloaded the resolved
// addresses are gone: the table goes back to unlinked so that a late call raises instead of
// jumping into unmapped memory.
void UnloadClientFiles() {
  FinishOCI();
  OCIInited = false;
  ResetOCIEntryPoints();
  if (OCIClientLibHandle) dlclose(OCIClientLibHandle);
  if (OCILibHandle) dlclose(OCILibHandle);
  OCIClientLibHandle = nullptr;
  OCILibHandle = nullptr;
}

// Why the dynamic loader refused `path`, as " (reason)", or "" when it gives none. The loader's
// text usually begins with the path itself, which the message names already; the usual reason
// with a real client is a library it needs that the loader cannot find (libaio, libnnz).
std::string LoaderReason(const std::string& path) {
  const char* text = dlerror();
  if (text == nullptr || *text == 0) return {};
  std::string reason = text;
  if (reason.starts_with(path + ": ")) reason.erase(0, path.size() + 2);
  return " (" + reason + ")";
}

}  // namespace

void LoadOCI() {
  DetectOCI();
  const OCIDiscoveryInputs& in = OCIDiscovery();
  // Text from the client arrives as UTF-8 unless the user chose otherwise.
  if (in.getEnv && in.setEnv && !in.getEnv("NLS_LANG")) in.setEnv("NLS_LANG", ".AL32UTF8");

  // Whatever was loaded before goes first, so that a failed load leaves nothing half loaded.
  UnloadClientFiles();

  ModuleHandle lib(dlopen(OCIDLL.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!lib) {
    const std::string path = OCIDLL;
    const std::string reason = LoaderReason(path);
    OCIDLL.clear();
    ClientError("Cannot load OCI DLL: " + path + reason);
  }
  ModuleHandle clientLib;
  if (OCIVersion >= 9000) {
    clientLib.reset(OCIClientDLL.empty() ? nullptr
                                         : dlopen(OCIClientDLL.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!clientLib) {
      const std::string path = OCIClientDLL;
      const std::string reason = OCIClientDLL.empty() ? std::string() : LoaderReason(path);
      OCIClientDLL.clear();
      ClientError("Cannot load " + path + reason);
    }
  }
  OCILibHandle = lib.release();
  OCIClientLibHandle = clientLib.release();
  ResolveEntryPoints();
}

bool LoadedOCI() {
  return OCILibHandle != nullptr && (OCIVersion <= 8999 || OCIClientLibHandle != nullptr);
}

void FreeOCI() {
  UnloadClientFiles();
  OCIDLL.clear();
  OCIClientDLL.clear();
  OCIVersionSt.clear();
  OracleHomePath.clear();
  OCIVersion = 0;
  OCICallStyle = TOCICallStyle::None;
  PossibleOCICallStyles = {};
}

// ---- InitOCI and FinishOCI ----

void InitOCI() {
  std::lock_guard<std::mutex> lock(OCIInitLock);
  if (OCIInited) return;
  if (!LoadedOCI()) LoadOCI();
  if (PossibleOCICallStyles.Contains(TOCICallStyle::OCI80)) {
    ub4 mode = OCI_OBJECT;
    if (OCIThreaded && OCIVersion > 8040) mode |= OCI_THREADED;
    if (OCIShared && OCIVersion >= 8140) mode |= OCI_SHARED;
    if (OCIEvents && OCIVersion >= 8140) mode |= OCI_EVENTS;
    OCIEnv* created = nullptr;
    sword status;
    if (OCIVersion >= 8100) {
      if (OCIThreaded && !OCIMutexed) mode |= OCI_NO_MUTEX;
      status = OCIEnvCreate(&created, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    } else {
      status = OCIInitialize(mode, nullptr, nullptr, nullptr, nullptr);
      if (status == OCI_SUCCESS) {
        const ub4 envMode =
            OCIThreaded && !OCIMutexed && OCIVersion <= 8140 ? OCI_ENV_NO_MUTEX : OCI_DEFAULT;
        status = OCIEnvInit(&created, envMode, 0, nullptr);
      }
    }
    // An environment the client handed out is freed if anything below fails.
    TOCIHandle<OCIEnv, OCI_HTYPE_ENV> env(created);
    TOCIHandle<OCIError, OCI_HTYPE_ERROR> err;
    if (status == OCI_SUCCESS) status = err.Alloc(env.get());
    if (status != OCI_SUCCESS) ClientError("Can't initialize OCI. Error " + std::to_string(status));
    ownedEnv = std::move(env);
    ownedError = std::move(err);
    hOCIEnv = ownedEnv.get();
    hOCIError = ownedError.get();
    OCIInited = true;
  }
  if (PossibleOCICallStyles.Contains(TOCICallStyle::OCI73)) {
    // A client without the version-7 calls has no version-7 environment to make thread safe.
    const bool hasOpinit = opinit != StartValue<popinit>("opinit");
    if (OCIThreaded && hasOpinit) SetThreadSafety(true);
    OCIInited = true;
  }
}

void FinishOCI() {
  if (!OCIInited || !PossibleOCICallStyles.Contains(TOCICallStyle::OCI80)) return;
  // The error handle first, then its environment; every other handle made under the environment
  // ends with it, and the next epoch tells their owners so.
  ownedError.reset();
  ownedEnv.reset();
  hOCIError = nullptr;
  hOCIEnv = nullptr;
  environmentEpoch.fetch_add(1, std::memory_order_relaxed);
  OCIInited = false;
}

// ---- Guards ----

void CheckOCI() {
  if (OCICallStyle != TOCICallStyle::OCI73 && OCICallStyle != TOCICallStyle::OCI80)
    RaiseError("OCI is not inizialized");
}
void CheckOCI73() {
  if (!PossibleOCICallStyles.Contains(TOCICallStyle::OCI73))
    RaiseError("Need Oracle 7.3 Call Interface");
}
void CheckOCI80() {
  if (!PossibleOCICallStyles.Contains(TOCICallStyle::OCI80))
    RaiseError("Need Oracle 8 Call Interface");
}
void CheckOCI81() {
  if (OCIVersion < 8100) RaiseError("Need Oracle 8i Call Interface");
}
void CheckOCI90() {
  if (OCIVersion < 9000) RaiseError("Need Oracle 9 Call Interface");
}

bool GetThreadSafety() {
  return ThreadSafety;
}

void SetThreadSafety(bool value) {
  if (!PossibleOCICallStyles.Contains(TOCICallStyle::OCI73)) return;
  ThreadSafety = value;
  opinit(OCI_EV_DEF);
}

uint32_t GetHeapAlloc() {
  ub4 value = 0;
  Check(OCIAttrGet(hOCIEnv, OCI_HTYPE_ENV, &value, nullptr, OCI_ATTR_HEAPALLOC, hOCIError));
  return value;
}

uint32_t GetSharedHeapAlloc() {
  ub4 value = 0;
  Check(OCIAttrGet(hOCIEnv, OCI_HTYPE_ENV, &value, nullptr, OCI_ATTR_SHARED_HEAPALLOC, hOCIError));
  return value;
}

// ---- Error records ----

int32_t GetOraError(sword status, std::string& message, OCIError* errorHandle) {
  CheckOCI80();
  if (status == OCI_SUCCESS) return 0;
  sb4 code = 0;
  if (status == OCI_SUCCESS_WITH_INFO || status == OCI_ERROR || status == OCI_NO_DATA) {
    OraText buffer[512];
    buffer[0] = 0;
    const sword got = OCIErrorGet(errorHandle ? errorHandle : hOCIError, 1, nullptr, &code, buffer,
                                  sizeof buffer, OCI_HTYPE_ERROR);
    buffer[sizeof buffer - 1] = 0;
    message = reinterpret_cast<const char*>(buffer);
    switch (got) {
      case OCI_SUCCESS:
        if (message.empty()) message = "ORA-" + std::to_string(code);
        break;
      case OCI_SUCCESS_WITH_INFO:
        message = "OCI_SUCCESS_WITH_INFO";
        break;
      case OCI_NO_DATA:
        message = "OCI_NO_DATA";
        break;
      case OCI_ERROR:
        if (message.rfind("ORA-", 0) == 0 && message.size() >= 9) {
          int parsed = 0;
          const char* first = message.data() + 4;
          auto [ptr, ec] = std::from_chars(first, first + 5, parsed);
          if (ec == std::errc() && ptr == first + 5) code = parsed;
        }
        break;
      default:
        break;
    }
  } else {
    if (status == OCI_NEED_DATA)
      message = "OCI_NEED_DATA";
    else if (status == OCI_INVALID_HANDLE)
      message = "OCI_INVALID_HANDLE";
    else
      message = "Unknown error: ORA-" + std::to_string(status);
    code = status;
  }
  return code < 0 ? -code : code;
}

void OraError(sword status, OCIError* errorHandle) {
  std::string message;
  const int32_t code = GetOraError(status, message, errorHandle);
  if (status == OCI_SUCCESS_WITH_INFO) return;
  while (!message.empty() && static_cast<unsigned char>(message.back()) <= ' ') message.pop_back();
  RaiseOraError(code, message);
}

}  // namespace tarnwick
