// ParseJSON against nlohmann::json on the same texts in the same run: a typical manifest and a
// synthetic 1 MB document of the same shape. Prints the median time per parse of each and the ratio
// ours / theirs (below 1.0: ours is faster).
//   json_bench TYPICAL_MANIFEST.json
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_parser.h"

namespace {

using Clock = std::chrono::steady_clock;

// A launch manifest grown to `size` bytes: the usual top level, many property definitions and many
// packages with file entries, hashes, exit codes and Japanese display names.
std::string SyntheticManifest(std::size_t size) {
  std::string text =
      "{\n  \"LaunchPackage\": { \"DisplayName\": \"Tevrian Synthetic Suite\", \"Version\": \"v1.0.0.0\", "
      "\"Condition\": \"VersionNT >= v6.1\", \"FailMessage\": \"[PackageName] \\u306f Windows 7 "
      "\\u4ee5\\u964d\\u3067\\u52d5\\u4f5c\\u3057\\u307e\\u3059\\u3002\", \"Privileged\": true },\n"
      "  \"Properies\": [\n";
  for (int i = 0; i < 200; ++i) {
    text += "    { \"PROP_" + std::to_string(i) +
            "\": { \"RegistrySearch\": { \"Root\": \"HKLM\", \"Key\": \"SOFTWARE\\\\Tevrian\\\\Product" +
            std::to_string(i) + "\", \"Value\": \"Release\", \"Result\": \"value\", \"Win64\": true } } },\n";
  }
  text += "    { \"LAST\": { \"Value\": 1 } }\n  ],\n  \"LaunchList\": [\n";
  for (int i = 0; text.size() < size - 1200; ++i) {
    const std::string n = std::to_string(i);
    text += "    { \"MsiPackage\": { \"Id\": \"Package" + n +
            "\", \"DisplayName\": \"\xE3\x83\x91\xE3\x83\x83\xE3\x82\xB1"
            "\xE3\x83\xBC\xE3\x82\xB8 " +
            n + "\", \"PreRequired\": " + (i % 3 ? "false" : "true") +
            ", \"Cache\": true,\n      \"ProductCode\": \"{6D2C3A7E-1F4B-4C55-9A0E-" +
            std::to_string(100000000000 + i) + "}\", \"Version\": \"2.4." + n + "\", \"ExecuteCondition\": \"NOT P" +
            n + " OR P" + n + " < v14.29.30153.0\",\n      \"ExecuteFile\": { \"Name\": \"Packages\\\\p" + n +
            ".msi\", \"DownloadUrl\": \"https://download.example.com/p" + n +
            ".msi\", \"Size\": " + std::to_string(1048576 + i * 7919) + ", \"Hash\": [ " +
            std::to_string(-1165345121 + i) + ", 1824578934, " + std::to_string(95043421 - i) +
            ", -20938471 ] },\n      \"Payloads\": [ { \"Name\": \"p" + n +
            ".cab\", \"DownloadUrl\": \"https://download.example.com/p" + n + ".cab\", \"Size\": 73400320 } ],\n" +
            "      \"UILevel\": \"Basic\", \"MsiProperty\": { \"INSTALLDIR\": \"[INSTALLDIR]\", \"REBOOT\": "
            "\"ReallySuppress\" } } },\n";
  }
  text += "    { \"ExePackage\": { \"Id\": \"Last\", \"ExecuteFile\": { \"Name\": \"last.exe\" } } }\n  ]\n}\n";
  return text;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Seconds per call of `parse`, timed over batches of about 20 ms.
template <typename Parse>
double TimeBatch(Parse&& parse, int calls) {
  const auto start = Clock::now();
  for (int i = 0; i < calls; ++i) parse();
  return std::chrono::duration<double>(Clock::now() - start).count() / calls;
}

int CallsFor(double secondsPerCall) { return std::max(1, static_cast<int>(0.02 / secondsPerCall)); }

std::string Human(double seconds) {
  char buffer[32];
  if (seconds < 1e-3) {
    std::snprintf(buffer, sizeof buffer, "%.1f us", seconds * 1e6);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.2f ms", seconds * 1e3);
  }
  return buffer;
}

bool Compare(const char* name, const std::string& text) {
  volatile std::size_t sink = 0;
  auto ours = [&] { sink = sink + Tevrian::JSON::ParseJSON(text).AsObject().size(); };
  auto theirs = [&] { sink = sink + nlohmann::json::parse(text.begin(), text.end()).size(); };
  if (!Tevrian::JSON::ParseJSON(text).IsObject() || !nlohmann::json::parse(text).is_object()) {
    std::fprintf(stderr, "json bench: %s is not read as an object\n", name);
    return false;
  }
  const int oursCalls = CallsFor(TimeBatch(ours, 1));
  const int theirsCalls = CallsFor(TimeBatch(theirs, 1));
  std::vector<double> oursTimes, theirsTimes;
  // Interleaved, so that a slower spell of the machine falls on both sides.
  for (int run = 0; run < 21; ++run) {
    oursTimes.push_back(TimeBatch(ours, oursCalls));
    theirsTimes.push_back(TimeBatch(theirs, theirsCalls));
  }
  const double o = Median(oursTimes), t = Median(theirsTimes);
  std::printf("json bench: %-26s %8.1f KB  ours %10s  nlohmann %10s  ratio ours/theirs %.2f\n", name,
              text.size() / 1024.0, Human(o).c_str(), Human(t).c_str(), o / t);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: json_bench TYPICAL_MANIFEST.json\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string typical{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (typical.empty()) {
    std::fprintf(stderr, "json bench: cannot read %s\n", argv[1]);
    return 1;
  }
  const bool ok =
      Compare("typical manifest", typical) && Compare("synthetic 1 MB manifest", SyntheticManifest(1 << 20));
  return ok ? 0 : 1;
}
