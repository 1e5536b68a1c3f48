// santool strings: numbered strings from a text file into a ".TRS" string
// file, and back. The text is read and written as UTF-8; the strings hold the
// characters U+0001 to U+00FF as single bytes, as the player draws them.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "authoring/trs.h"
#include "base/log.h"
#include "imageio/output.h"
#include "platform/files.h"
#include "santool/santool.h"
#include "santool/scan.h"
#include "text/resource.h"

const char* const kStringsFormatHelp =
    "Text format (what --dump writes and santool strings reads back unchanged):\n"
    "  3: Hello           string 3 is \"Hello\"; numbers 0 to 32767, each once, in\n"
    "                     any order (--dump writes them in ascending order); one\n"
    "                     blank after the colon belongs to the syntax\n"
    "   | World           a line that starts with blanks and \"|\" continues the\n"
    "                     string above after a line end; one blank after the bar\n"
    "                     belongs to the syntax, \" |\" alone adds an empty line\n"
    "  # note             a comment; comments and empty lines are passed over\n"
    "Escapes: \\\\ a backslash, \\r a carriage return, \\xHH the byte HH (01 to FF).\n"
    "The text is UTF-8; characters up to U+00FF become one byte each. A string\n"
    "may not be empty, start or end with a line end, or have a line that starts\n"
    "with \"#\" or \"/\" (the player reads those as markers and line breaks). Lines\n"
    "of the text may end with CR LF.\n";

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "santool: %s\n", message.c_str());
  return 1;
}

// UTF-8 up to U+00FF as bytes; false at anything else.
bool Latin1(const std::string& utf8, std::string* out) {
  out->clear();
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
               (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
      out->push_back(static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F)));
    } else {
      return false;
    }
  }
  return true;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One line of text after its prefix, escapes undone; false with the reason.
bool Unescape(const std::string& text, std::string* out, std::string* why) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out->push_back(text[i]);
      continue;
    }
    const char e = i + 1 < text.size() ? text[i + 1] : '\0';
    if (e == '\\' || e == 'r') {
      out->push_back(e == 'r' ? '\r' : '\\');
      ++i;
    } else if (e == 'x' && i + 3 < text.size() && Hex(text[i + 2]) >= 0 && Hex(text[i + 3]) >= 0 &&
               Hex(text[i + 2]) * 16 + Hex(text[i + 3]) != 0) {
      out->push_back(static_cast<char>(Hex(text[i + 2]) * 16 + Hex(text[i + 3])));
      i += 3;
    } else {
      *why = "unknown escape \"" + text.substr(i, 4) + "\"";
      return false;
    }
  }
  return true;
}

// What the player cannot give back as it went in, or empty.
std::string Unrepresentable(const std::string& s) {
  if (s.empty()) return "is empty";
  if (s.front() == '\n' || s.front() == '\r') return "starts with a line end";
  if (s.back() == '\n' || s.back() == '\r') return "ends with a line end";
  for (size_t i = 0; i < s.size(); ++i) {
    const bool line_start = i == 0 || s[i - 1] == '\n' || s[i - 1] == '\r';
    if (line_start && (s[i] == '#' || s[i] == '/')) return "has a line that starts with \"#\" or \"/\"";
  }
  return {};
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Build(const StringsOptions& options) {
  std::string error = santool::CheckInput(options.file, false, santool::kLargestText);
  if (!error.empty()) return Fail(error);
  const std::string host = platform::ResolvePath(options.file.c_str());
  imageio::IoResult checked = imageio::CheckOutput(options.output, {host});
  if (!checked) return Fail(checked.message);
  std::string text;
  if (!ReadFile(host, &text)) return Fail(options.file + ": cannot be read");

  std::map<int, std::string> strings;
  int current = -1;
  size_t line_number = 0;
  bool bad = false;
  auto complain = [&](const std::string& what) {
    bad = true;
    return Fail(options.file + ":" + std::to_string(line_number) + ": " + what);
  };
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string bytes;
    if (!Latin1(line, &bytes)) {
      complain("not UTF-8, or a character above U+00FF");
      continue;
    }
    const size_t first = bytes.find_first_not_of(" \t");
    if (first == std::string::npos || bytes[first] == '#') continue;
    std::string body, why;
    if (bytes[first] == '|') {
      if (current < 0) {
        complain("a continuation line without a string above it");
        continue;
      }
      size_t from = first + 1;
      if (from < bytes.size() && bytes[from] == ' ') ++from;
      if (!Unescape(bytes.substr(from), &body, &why)) {
        complain(why);
        continue;
      }
      strings[current] += "\n" + body;
      continue;
    }
    int number = -1;
    const char* begin = bytes.data() + first;
    auto [p, ec] = std::from_chars(begin, bytes.data() + bytes.size(), number);
    if (ec != std::errc() || p == begin || *p != ':' || number < 0 || number > 32767) {
      complain("expected \"NUMBER: text\" (0 to 32767), \"| text\" or \"# comment\"");
      current = -1;
      continue;
    }
    size_t from = static_cast<size_t>(p - bytes.data()) + 1;
    if (from < bytes.size() && bytes[from] == ' ') ++from;
    if (strings.count(number)) {
      complain("string " + std::to_string(number) + " is given twice");
      current = -1;
      continue;
    }
    if (!Unescape(bytes.substr(from), &body, &why)) {
      complain(why);
      current = -1;
      continue;
    }
    strings[number] = body;
    current = number;
  }
  for (const auto& [number, s] : strings) {
    const std::string why = Unrepresentable(s);
    if (!why.empty()) bad = Fail(options.file + ": string " + std::to_string(number) + " " + why) != 0;
  }
  if (bad) return 1;

  std::vector<authoring::TrsEntry> entries;
  for (const auto& [number, s] : strings) entries.push_back({number, s});
  const std::string body = authoring::BuildTrsBody(entries, false);
  const std::vector<uint8_t> data =
      options.scramble ? authoring::ScrambleTrs(body) : std::vector<uint8_t>(body.begin(), body.end());
  imageio::OutputFile out(options.output);
  out.Write(data.data(), data.size());
  imageio::IoResult r = out.Commit();
  if (!r) return Fail(r.message);
  std::printf("%zu strings written to %s\n", entries.size(), options.output.c_str());
  return 0;
}

// A string as one "N: text" line and its " | text" continuations.
std::string DumpEntry(int number, const char* s) {
  std::string out = std::to_string(number) + ":", line;
  auto end_line = [&] {
    if (!line.empty()) out += " " + line;
    out += "\n";
    line.clear();
  };
  for (const char* p = s; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    char hex[8];
    if (c == '\n') {
      end_line();
      out += " |";
    } else if (c == '\\') {
      line += "\\\\";
    } else if (c == '\r') {
      line += "\\r";
    } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      line += hex;
    } else if (c >= 0x80) {
      line += static_cast<char>(0xC0 | (c >> 6));
      line += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      line += static_cast<char>(c);
    }
  }
  end_line();
  return out;
}

int Dump(const StringsOptions& options) {
  std::string error = santool::CheckInput(options.file, false, santool::kLargestText);
  if (!error.empty()) return Fail(error);
  // The player's own loader reads the file, so the dump shows what it sees.
  ClearLogs();
  TextResource* resource = nullptr;
  const std::string name = platform::ShortEngineName(options.file);
  const int16_t result = LoadTextResource(&resource, name.c_str());
  if (result != 0 || ErrorCount() > 0) {
    for (const std::string& e : ErrorLogEntries())
      std::fprintf(stderr, "santool: %s\n", platform::ExpandAliases(e).c_str());
    FreeTextResource(&resource);
    return 1;
  }
  std::string out;
  for (int16_t n = 0; n < resource->count; ++n) {
    const char* s = GetText(resource, n);
    if (s != nullptr) out += DumpEntry(n, s);
  }
  FreeTextResource(&resource);
  if (out.empty()) std::fprintf(stderr, "santool: %s: holds no strings\n", options.file.c_str());
  std::fwrite(out.data(), 1, out.size(), stdout);  // a failure is reported with the status
  return 0;
}

}  // namespace

int RunStrings(const StringsOptions& options) {
  return options.dump ? Dump(options) : Build(options);
}
