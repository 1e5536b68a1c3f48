// santool commands.
#pragma once

#include <string>
#include <vector>

// santool export FILE.san --frames DIR [--audio OUT.wav]
int RunExport(const std::vector<std::string>& args);
// santool info FILE.san [--json] [--frames]
int RunInfo(const std::vector<std::string>& args);
