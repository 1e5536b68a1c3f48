// santool: inspect and export ".san" animation files.
#include <cstdio>
#include <string>
#include <vector>

#include "santool/santool.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: santool export FILE.san --frames DIR [--audio OUT.wav]\n"
               "                      [--strings FILE.TRS] [--fonts A.NUT,B.NUT,...]\n"
               "       santool info FILE.san [--json] [--frames]\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "export") return RunExport(args);
  if (command == "info") return RunInfo(args);
  Usage();
  return 2;
}
