// The order of the libraries: the table of docs/architecture.md against the
// "folder/..." includes of every file under src/.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Library {
  int layer = 0;
  std::set<std::string> uses;
};
using Table = std::map<std::string, Library>;

fs::path SourceRoot() {
  const char* dir = std::getenv("MV_SOURCE_DIR");
  return dir != nullptr ? fs::path(dir) : fs::path(MV_SOURCE_ROOT);
}

// The rows "| layer | `name` | what | `a`, `b` |" of the document.
Table ReadTable(const fs::path& document) {
  Table table;
  std::ifstream in(document);
  const std::regex row(R"(^\| *(\d+) *\| *`([a-z_/]+)` *\|[^|]*\|([^|]*)\| *$)");
  const std::regex name("`([a-z_]+)`");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    Library& library = table[m[2]];
    library.layer = std::stoi(m[1]);
    const std::string uses = m[3];
    for (std::sregex_iterator it(uses.begin(), uses.end(), name), end; it != end; ++it)
      library.uses.insert((*it)[1]);
  }
  return table;
}

// "file:line: message" for every include the table does not allow, and for
// SDL outside the platform.
std::vector<std::string> Violations(const Table& table, const fs::path& src) {
  std::vector<std::string> found;
  const std::regex edge(R"(^\s*#\s*include\s*"([a-z_]+)/)");
  const std::regex sdl(R"(^\s*#\s*include\s*[<"]SDL)");
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(src))
    if (entry.is_regular_file() && (entry.path().extension() == ".h" || entry.path().extension() == ".cc"))
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const fs::path relative = fs::relative(file, src);
    // A sub-folder that the table names is a library of its own (a backend).
    const std::string top = relative.begin()->string();
    const std::string sub = top + "/" + std::next(relative.begin())->string();
    const std::string from = table.count(sub) ? sub : top;
    const auto library = table.find(from);
    std::ifstream in(file);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      const std::string where = "src/" + relative.generic_string() + ":" + std::to_string(number) + ": ";
      std::smatch m;
      if (std::regex_search(line, m, sdl) && top != "platform")
        found.push_back(where + "SDL outside platform/");
      if (!std::regex_search(line, m, edge)) continue;
      const std::string to = m[1];
      if (library == table.end())
        found.push_back(where + "library " + from + " is not in the table");
      else if (to != top && library->second.uses.count(to) == 0)
        found.push_back(where + from + " may not use " + to);
    }
  }
  return found;
}

// The DEPS of each "mv_add_subsystem(name ... DEPS mv_a mv_b)" under src/.
std::map<std::string, std::set<std::string>> ReadDeps(const fs::path& src) {
  std::map<std::string, std::set<std::string>> deps;
  const std::regex call(R"(mv_add_subsystem\(\s*([a-z_]+)([^)]*)\))");
  const std::regex dep(R"(\bmv_([a-z_]+))");
  for (const auto& entry : fs::directory_iterator(src)) {
    std::ifstream in(entry.path() / "CMakeLists.txt");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::smatch m;
    if (!std::regex_search(text, m, call)) continue;
    std::set<std::string>& names = deps[m[1]];
    const std::string rest = m[2];
    for (std::sregex_iterator it(rest.begin(), rest.end(), dep), end; it != end; ++it) names.insert((*it)[1]);
  }
  return deps;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(Layers, TheTableIsLayeredAndEveryIncludeFollowsIt) {
  const Table table = ReadTable(SourceRoot() / "docs/architecture.md");
  ASSERT_GE(table.size(), 13u) << "the table of docs/architecture.md was not found";
  std::vector<std::string> wrong;
  for (const auto& [name, library] : table)
    for (const std::string& used : library.uses) {
      const auto lower = table.find(used);
      if (lower == table.end())
        wrong.push_back(name + " uses " + used + ", which the table does not list");
      else if (lower->second.layer >= library.layer)
        wrong.push_back(name + " (layer " + std::to_string(library.layer) + ") uses " + used +
                        " (layer " + std::to_string(lower->second.layer) + ")");
    }
  EXPECT_TRUE(wrong.empty()) << Lines(wrong);
  const std::vector<std::string> found = Violations(table, SourceRoot() / "src");
  EXPECT_TRUE(found.empty()) << Lines(found);
  // The libraries link what the table lets them use among those of src/.
  for (const auto& [name, deps] : ReadDeps(SourceRoot() / "src")) {
    std::set<std::string> allowed;
    for (const std::string& used : table.at(name).uses)
      if (fs::is_directory(SourceRoot() / "src" / used)) allowed.insert(used);
    EXPECT_EQ(deps, allowed) << "DEPS of src/" << name << "/CMakeLists.txt";
  }
}

// A file of a lower library that includes a higher one is named with its line.
TEST(Layers, AnUpwardIncludeIsNamed) {
  const Table table = ReadTable(SourceRoot() / "docs/architecture.md");
  const fs::path src = fs::temp_directory_path() / ("mvlayers" + std::to_string(getpid()));
  fs::create_directories(src / "display");
  fs::create_directories(src / "nowhere");
  std::ofstream(src / "display/up.cc") << "// up\n#include \"display/display.h\"\n#include \"anim/player.h\"\n";
  std::ofstream(src / "display/sdl.cc") << "#include <SDL2/SDL.h>\n";
  std::ofstream(src / "nowhere/x.h") << "#include \"base/log.h\"\n";
  const std::vector<std::string> found = Violations(table, src);
  fs::remove_all(src);
  EXPECT_EQ(found, (std::vector<std::string>{"src/display/sdl.cc:1: SDL outside platform/",
                                             "src/display/up.cc:3: display may not use anim",
                                             "src/nowhere/x.h:1: library nowhere is not in the table"}));
}

}  // namespace
