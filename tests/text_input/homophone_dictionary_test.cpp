#include "text_input/homophone_dictionary.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/text.h"
#include "support/test_util.h"
#include "text_input/homophone_format.h"

namespace {

namespace hf = homophone_format;
using Values = std::vector<std::u16string>;

std::vector<hf::Entry> SampleEntries() {
  return {{"こうえん", {"公園", "講演", "公演"}}, {"はし", {"橋", "箸", "端"}}, {"きしゃ", {"記者", "汽車"}},
          {"あめ", {"雨", "飴"}},                {"はしら", {"柱"}}};
}

void Put32(std::string& file, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) file[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

class HomophoneDictionaryTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& bytes) {
    const auto path = dir_.path() / "homophones.bin";
    quorix_test::WriteFile(path, bytes);
    return path;
  }
  quorix_test::TempDir dir_;
};

// Each broken header rule has its refused file in homophone_corpus; a file
// over 64 MiB (sparse) is refused by its size before anything is mapped.
TEST_F(HomophoneDictionaryTest, AFileOverTheSizeLimitIsInvalid) {
  const auto big = Write(hf::BuildFile(SampleEntries()));
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(hf::kMaxFileSize + 1)), 0);
  HomophoneDictionary dict(big);
  EXPECT_TRUE(dict.Lookup(u"はし", 8).empty());
  EXPECT_EQ(dict.state(), kDictionaryInvalid);
}

TEST_F(HomophoneDictionaryTest, AnUnopenableFileIsFinal) {
  const auto path = dir_.path() / "later.bin";
  HomophoneDictionary missing(path);
  EXPECT_TRUE(missing.Lookup(u"はし", 8).empty());
  EXPECT_EQ(missing.state(), kDictionaryUnopenable);
  quorix_test::WriteFile(path, hf::BuildFile(SampleEntries()));
  EXPECT_TRUE(missing.Lookup(u"はし", 8).empty());
  EXPECT_EQ(missing.state(), kDictionaryUnopenable);

  const auto fifo = dir_.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& p : {dir_.path(), fifo, std::filesystem::path()}) {
    HomophoneDictionary dict(p);
    EXPECT_TRUE(dict.Lookup(u"はし", 8).empty());
    EXPECT_EQ(dict.state(), kDictionaryUnopenable) << p;
  }
}

TEST_F(HomophoneDictionaryTest, ABadRecordMetInASearchInvalidatesTheFile) {
  const std::string good = hf::BuildFile(SampleEntries());
  // The first probe of a five-entry search is record 2.
  struct Case {
    const char* name;
    size_t field;
    uint32_t value;
  } cases[] = {{"value count 127", 16, 127},
               {"value count 0", 16, 0},
               {"key length 161", 4, 161},
               {"key length 0", 4, 0},
               {"values length near 4 GiB", 12, 0xFFFFFFF0u},
               {"key offset before the text", 0, 31},
               {"values offset past the end", 8, 0xFFFFFFFFu}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = good;
    Put32(file, 32 + 2 * 20 + c.field, c.value);
    HomophoneDictionary dict(Write(file));
    EXPECT_TRUE(dict.Lookup(u"あめ", 8).empty());
    EXPECT_EQ(dict.state(), kDictionaryInvalid);
    EXPECT_TRUE(dict.Lookup(u"こうえん", 8).empty());
  }
}

TEST_F(HomophoneDictionaryTest, ABadValueGivesNoPartialList) {
  struct Case {
    const char* name;
    std::string bad;
  } cases[] = {{"4001 bytes", std::string(4001, 'a')},
               {"invalid UTF-8", "\xC0\xAF"},
               {"1001 units", std::string(1001, 'a')}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HomophoneDictionary dict(Write(hf::BuildFile({{"はし", {"橋", c.bad, "端"}}})));
    EXPECT_TRUE(dict.Lookup(u"はし", 8).empty());
    EXPECT_EQ(dict.state(), kDictionaryInvalid);
  }
  // The list's last NUL cut off by its length.
  std::string file = hf::BuildFile({{"はし", {"橋", "箸"}}});
  Put32(file, 32 + 12, static_cast<uint32_t>(std::strlen("橋") + 1 + std::strlen("箸")));
  HomophoneDictionary dict(Write(file));
  EXPECT_TRUE(dict.Lookup(u"はし", 8).empty());
  EXPECT_EQ(dict.state(), kDictionaryInvalid);
}

TEST_F(HomophoneDictionaryTest, LookupsFollowTheKeyOrderAndLimits) {
  hf::Entry many{"かず", {}};
  Values first16;
  for (int i = 0; i < 30; ++i) {
    many.values.push_back("数" + std::to_string(i));
    if (i < 16) first16.push_back(u"数" + Utf8ToWide(std::to_string(i)));
  }
  auto entries = SampleEntries();
  entries.push_back(many);
  HomophoneDictionary dict(Write(hf::BuildFile(entries)));
  EXPECT_TRUE(dict.Lookup(std::u16string(41, u'あ'), 8).empty());
  EXPECT_EQ(dict.state(), kDictionaryNotTried);  // not even opened

  EXPECT_EQ(dict.Lookup(u"あめ", 8), (Values{u"雨", u"飴"}));               // first key
  EXPECT_EQ(dict.Lookup(u"はし", 8), (Values{u"橋", u"箸", u"端"}));        // a prefix of はしら
  EXPECT_EQ(dict.Lookup(u"はしら", 8), (Values{u"柱"}));                     // last key
  EXPECT_EQ(dict.Lookup(u"こうえん", 2), (Values{u"公園", u"講演"}));
  EXPECT_EQ(dict.Lookup(u"かず", 16), first16);
  EXPECT_TRUE(dict.Lookup(u"こう", 8).empty());  // a stored key's prefix
  EXPECT_TRUE(dict.Lookup(u"はしらx", 8).empty());
  EXPECT_TRUE(dict.Lookup(u"はし", 0).empty());
  EXPECT_TRUE(dict.Lookup(std::u16string(1, char16_t{0xD800}), 8).empty());
  EXPECT_EQ(dict.state(), kDictionaryOpen);
}

TEST(ShippedHomophones, TheGeneratedFileHoldsTheListInOrder) {
  HomophoneDictionary dict(std::filesystem::path(QUORIX_TEST_BUILD_DIR) / "assets" / "ime" / "homophones.bin");
  std::ifstream list(std::filesystem::path(QUORIX_TEST_SOURCE_DIR) / "tools" / "homophones.tsv");
  std::string line;
  size_t lines = 0;
  while (std::getline(list, line)) {
    ++lines;
    std::istringstream fields(line);
    std::string reading, value;
    std::getline(fields, reading, '\t');
    Values want;
    while (std::getline(fields, value, '\t')) want.push_back(Utf8ToWide(value));
    ASSERT_EQ(dict.Lookup(Utf8ToWide(reading), 126), want) << line;
  }
  EXPECT_GE(lines, 300u);
  EXPECT_EQ(dict.state(), kDictionaryOpen);
}

}  // namespace
