#include "authoring/trs.h"

#include <algorithm>
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
  // The header is sized once and filled in place: growing a vector made from a
  // four-byte list is what the optimiser's bounds analysis misreads.
  std::vector<uint8_t> out(kTextScrambleHeaderSize + body.size(), 0);
  const char kMagic[] = "ETRS";
  std::copy(kMagic, kMagic + 4, out.begin());
  for (size_t i = 0; i < body.size(); ++i)
    out[kTextScrambleHeaderSize + i] = static_cast<uint8_t>(body[i]) ^ kTextScrambleKey;
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
