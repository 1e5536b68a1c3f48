// Running the built santool from the tests: exit status, stdout and stderr.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace santest {

inline std::string Tool() {
  const char* dir = std::getenv("MV_BINARY_DIR");
  return std::string(dir ? dir : MV_BINARY_ROOT) + "/tools/santool";
}

struct ToolRun {
  int code;
  std::string out, err;
};
// Runs the built santool; stdout and stderr are kept apart.
inline ToolRun RunSantool(const std::string& args) {
  char err_name[] = "/tmp/mvsantoolerrXXXXXX";
  int fd = mkstemp(err_name);
  if (fd >= 0) close(fd);
  std::string cmd = Tool() + " " + args + " 2>" + err_name;
  FILE* p = popen(cmd.c_str(), "r");
  ToolRun r{-1, {}, {}};
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err_name, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::remove(err_name);
  return r;
}

// A fresh folder under /tmp for each test (kept when KEEP is set).
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mvsantoolXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    if (!std::getenv("KEEP")) std::filesystem::remove_all(dir_, ec);
  }
  std::string dir_;
};

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace santest
