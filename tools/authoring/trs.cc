#include "authoring/trs.h"

#include <cstdio>

#include "text/resource.h"

namespace authoring {

std::string BuildTrsBody(const std::vector<TrsEntry>& entries, bool crlf) {
  const std::string eol = crlf ? "\r\n" : "\n";
  std::string body;
  for (const TrsEntry& entry : entries) {
    body += "# " + std::to_string(entry.number) + eol;
    for (char c : entry.text) {
      if (c == '\n')
        body += eol;
      else
        body += c;
    }
    body += eol;
  }
  return body;
}

std::vector<uint8_t> ScrambleTrs(const std::string& body) {
  std::vector<uint8_t> out = {'E', 'T', 'R', 'S'};
  out.resize(kTextScrambleHeaderSize, 0);
  for (char c : body) out.push_back(static_cast<uint8_t>(c) ^ kTextScrambleKey);
  return out;
}

bool WriteTrsFile(const std::string& path, const std::string& body, bool scrambled) {
  const std::vector<uint8_t> data =
      scrambled ? ScrambleTrs(body) : std::vector<uint8_t>(body.begin(), body.end());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace authoring
