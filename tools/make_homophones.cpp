// Writes the homophone dictionary from its hand-written list.
//   make_homophones LIST OUTPUT
// LIST holds one entry a line: the reading, then its values in offer order,
// separated by TABs. Any line that breaks a rule stops the tool with its
// number; OUTPUT is then left as it was.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "text_input/homophone_format.h"

namespace hf = homophone_format;

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

int Refuse(const std::string& list, size_t line, const std::string& why) {
  std::fprintf(stderr, "make_homophones: %s:%zu: %s\n", list.c_str(), line, why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_homophones LIST OUTPUT\n");
    return 2;
  }
  const std::string list = argv[1];
  std::ifstream in(list, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "make_homophones: cannot read %s\n", list.c_str());
    return 1;
  }
  std::vector<hf::Entry> entries;
  std::set<std::string> readings;
  std::string line;
  size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::vector<std::string> fields = SplitTabs(line);
    hf::Entry entry;
    entry.reading = fields[0];
    if (const std::string why = hf::CheckReading(entry.reading); !why.empty()) return Refuse(list, number, why);
    if (fields.size() < 2) return Refuse(list, number, "no values");
    if (fields.size() - 1 > hf::kMaxValues) return Refuse(list, number, "over 126 values");
    if (!readings.insert(entry.reading).second) return Refuse(list, number, "repeated reading");
    std::set<std::string> seen;
    for (size_t i = 1; i < fields.size(); ++i) {
      if (const std::string why = hf::CheckValue(fields[i]); !why.empty()) return Refuse(list, number, why);
      if (!seen.insert(fields[i]).second) return Refuse(list, number, "repeated value " + fields[i]);
      entry.values.push_back(fields[i]);
    }
    entries.push_back(std::move(entry));
  }
  if (in.bad()) return Refuse(list, number, "read error");
  if (entries.empty() || entries.size() > hf::kMaxEntries) return Refuse(list, number, "entry count out of range");

  const std::filesystem::path output = argv[2];
  std::error_code ec;
  std::filesystem::create_directories(output.parent_path(), ec);
  // Installed data beside the program: readable by everyone.
  if (!platform::ReplaceFileDurably(output, hf::BuildFile(std::move(entries)), 0644)) {
    std::fprintf(stderr, "make_homophones: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
