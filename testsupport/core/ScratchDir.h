#pragma once
// A new folder of the test's own, removed with everything in it when the object ends.
#include <filesystem>
#include <string>

namespace tarnwick::testsupport {

class ScratchDir {
 public:
  // Makes "<prefix>-XXXXXX" in `parent` (the system's temporary folder by default). Throws
  // std::runtime_error naming the folder and the system's error text when it cannot be made.
  explicit ScratchDir(const std::string& prefix = "tarnwick",
                      const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of a file in the folder, as text.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace tarnwick::testsupport
