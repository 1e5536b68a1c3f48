// Writing ".TRS" string files: "# n" marker lines each followed by the text
// of string n, plain or scrambled behind a 16-byte "ETRS" header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace authoring {

struct TrsEntry {
  int number;
  std::string text;  // may hold line feeds; they are written as line ends
};

// The text body; `crlf` ends lines with CR LF, else with LF.
std::string BuildTrsBody(const std::vector<TrsEntry>& entries, bool crlf = true);
// "ETRS", 12 zero bytes, then the body XOR-ed with the player's key byte.
std::vector<uint8_t> ScrambleTrs(const std::string& body);
bool WriteTrsFile(const std::string& path, const std::string& body, bool scrambled);

}  // namespace authoring
