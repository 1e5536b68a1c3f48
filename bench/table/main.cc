// Reads the JSON reports of the benchmark programs (run with repetitions) and
// writes one table: each benchmark's median processor time and its ratio to
// the baseline it names, measured in the same run. Processor time rather
// than wall time, since a loaded machine stretches the latter at random.
//
// A benchmark names its baseline in its label: "vs NAME limit X" (a ratio to
// the median of benchmark NAME, to be at most X), or carries a counter
// "budget_ns" (a ratio to that many nanoseconds, to be at most 1, or with no
// limit when labelled "floor").
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

struct Row {
  std::string name;
  std::string label;
  double ns = 0;
  double budget_ns = 0;
};

double ToNs(double t, const std::string& unit) {
  if (unit == "us") return t * 1e3;
  if (unit == "ms") return t * 1e6;
  if (unit == "s") return t * 1e9;
  return t;
}

std::string Time(double ns) {
  char b[32];
  if (ns >= 1e6) {
    std::snprintf(b, sizeof b, "%.2f ms", ns / 1e6);
  } else if (ns >= 1e3) {
    std::snprintf(b, sizeof b, "%.2f us", ns / 1e3);
  } else {
    std::snprintf(b, sizeof b, "%.1f ns", ns);
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench-table REPORT.json...\n");
    return 2;
  }
  std::vector<Row> rows;
  std::map<std::string, double> median;
  std::string context;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i]);
    nlohmann::json report;
    try {
      in >> report;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bench-table: %s: %s\n", argv[i], e.what());
      return 1;
    }
    if (context.empty() && report.contains("context")) {
      const auto& c = report["context"];
      std::ostringstream s;
      s << c.value("num_cpus", 0) << " CPUs at " << c.value("mhz_per_cpu", 0) << " MHz, "
        << c.value("library_build_type", "") << " benchmark library, " << c.value("date", "");
      context = s.str();
    }
    for (const auto& b : report["benchmarks"]) {
      // Medians when the program ran with repetitions, the single run otherwise.
      bool aggregate = b.value("run_type", "") == "aggregate";
      if (aggregate && b.value("aggregate_name", "") != "median") continue;
      std::string name = b.value("run_name", b.value("name", ""));
      if (!aggregate && median.count(name)) continue;
      Row r{name, b.value("label", ""),
            ToNs(b.value("cpu_time", 0.0), b.value("time_unit", "ns")),
            b.value("budget_ns", 0.0)};
      median[name] = r.ns;
      bool replaced = false;
      for (Row& old : rows)
        if (old.name == name) {
          old = r;
          replaced = true;
        }
      if (!replaced) rows.push_back(r);
    }
  }
  std::printf("| benchmark | time | ratio | limit |\n|---|---|---|---|\n");
  int over = 0;
  for (const Row& r : rows) {
    std::string ratio = "", limit = "";
    double value = 0, max = 0;
    if (r.label.rfind("vs ", 0) == 0) {
      std::istringstream s(r.label.substr(3));
      std::string base, word;
      s >> base >> word >> max;
      auto it = median.find(base);
      if (it != median.end() && it->second > 0) {
        value = r.ns / it->second;
        char b[96];
        std::snprintf(b, sizeof b, "%.2fx %s", value, base.c_str());
        ratio = b;
        if (max > 0) {
          std::snprintf(b, sizeof b, "%.1fx", max);
          limit = b;
        }
      }
    } else if (r.budget_ns > 0) {
      // A floor (a measurement of what the budget is up against) shows its
      // ratio without a limit.
      value = r.ns / r.budget_ns;
      max = r.label == "floor" ? 0 : 1;
      char b[96];
      std::snprintf(b, sizeof b, "%.2fx budget", value);
      ratio = b;
      if (max > 0) limit = "1x budget (" + Time(r.budget_ns) + ")";
    }
    bool fails = max > 0 && value > max;
    over += fails;
    std::printf("| %s | %s | %s%s | %s |\n", r.name.c_str(), Time(r.ns).c_str(), ratio.c_str(),
                fails ? " **over**" : "", limit.c_str());
  }
  std::printf("\n%d over the limit; %s\n", over, context.c_str());
  return 0;
}
