// The opt-in to newer Oracle clients: which source decides, what values mean, and that a value
// not understood stops the connect wherever it is written.
#include "app/ClientOptIn.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "testsupport/core/ScratchDir.h"

namespace tarnwick {
namespace {

struct Case {
  const char* name;
  bool commandLine;
  std::optional<std::string> variable;
  std::optional<std::string> userFile;    // contents; nullopt: no file
  std::optional<std::string> besideFile;  // contents; nullopt: no file
  bool accept;
  std::string origin;  // "user", "beside", or the literal origin
  std::string error;   // a part of the error; empty: none
};

TEST(ClientOptIn, SourcesAndValues) {
  const std::string yes = "[Client]\nAcceptNewerClient=1\n";
  const std::string no = "[Client]\nAcceptNewerClient=0\n";
  const std::vector<Case> cases = {
      {"nothing set", false, std::nullopt, std::nullopt, std::nullopt, false, "", ""},
      {"the option", true, std::nullopt, std::nullopt, std::nullopt, true, "--accept-newer-client",
       ""},
      {"the option over a refusing variable", true, "0", no, std::nullopt, true,
       "--accept-newer-client", ""},
      {"the variable", false, "1", std::nullopt, std::nullopt, true, "TARNWICK_ACCEPT_NEWER_CLIENT",
       ""},
      {"the variable refuses over the file", false, "0", yes, std::nullopt, false,
       "TARNWICK_ACCEPT_NEWER_CLIENT", ""},
      {"an empty variable is unset", false, "", yes, std::nullopt, true, "user", ""},
      {"the user's file", false, std::nullopt, yes, no, true, "user", ""},
      {"the user's file refuses", false, std::nullopt, no, yes, false, "user", ""},
      {"the file beside the program when the user's lacks the key", false, std::nullopt,
       "[Connect]\nString=a/b@c\n", yes, true, "beside", ""},
      {"section and key in any case, blanks around the value", false, std::nullopt,
       "[client]\nacceptnewerclient = 1 \n", std::nullopt, true, "user", ""},
      {"the key in another section counts not", false, std::nullopt,
       "[Connect]\nAcceptNewerClient=1\n", std::nullopt, false, "", ""},
      {"a word in the variable", false, "yes", std::nullopt, std::nullopt, false, "",
       "TARNWICK_ACCEPT_NEWER_CLIENT is 'yes': it takes 1"},
      {"a blank in the variable", false, " 1", std::nullopt, std::nullopt, false, "",
       "TARNWICK_ACCEPT_NEWER_CLIENT is ' 1'"},
      {"a word in the file, even under the option", true, std::nullopt,
       "[Client]\nAcceptNewerClient=true\n", std::nullopt, false, "",
       ": AcceptNewerClient in section [Client] is 'true': it takes 1"},
      {"a bad value beside the program is not passed over", false, std::nullopt, yes,
       "[Client]\nAcceptNewerClient=2\n", false, "", "is '2'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScratchDir dir{"client-opt-in"};
    const std::string user = dir.File("user/Tarnwick.INI");
    const std::string beside = dir.File("Tarnwick.INI");
    std::filesystem::create_directories(dir.Path() / "user");
    if (c.userFile) std::ofstream(user) << *c.userFile;
    if (c.besideFile) std::ofstream(beside) << *c.besideFile;
    const auto getEnv = [&](const char* name) -> std::optional<std::string> {
      if (std::string(name) == "TARNWICK_ACCEPT_NEWER_CLIENT") return c.variable;
      return std::nullopt;
    };
    const TClientOptIn optIn = FindClientOptIn(c.commandLine, getEnv, {user, beside});
    if (!c.error.empty()) {
      ASSERT_TRUE(optIn.Error.has_value());
      EXPECT_NE(optIn.Error->find(c.error), std::string::npos) << *optIn.Error;
      EXPECT_FALSE(optIn.Accept);
      continue;
    }
    EXPECT_FALSE(optIn.Error.has_value()) << *optIn.Error;
    EXPECT_EQ(optIn.Accept, c.accept);
    const std::string origin = c.origin == "user" ? user : c.origin == "beside" ? beside : c.origin;
    EXPECT_EQ(optIn.Origin, origin);
  }
}

TEST(ClientOptIn, RefusalsTheOptInWouldLift) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"OCI version 11.1 is not supported", true},
      {"OCI version 19.1 is not supported", true},
      {"OCI version 23.1 is not supported", true},
      {"OCI version 7.2 is not supported", false},
      {"OCI version 10.1 is not supported", false},
      {"OCI version  is not supported", false},
      {"Cannot load OCI DLL: /x/libclntsh.so (libaio.so.1: cannot open shared object file)", false},
      {"ORA-12154: TNS:could not resolve the connect identifier specified", false},
  };
  for (const auto& [message, lifted] : cases)
    EXPECT_EQ(RefusedAsNewerClient(message), lifted) << message;
}

}  // namespace
}  // namespace tarnwick
