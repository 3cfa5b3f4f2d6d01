#include <gtest/gtest.h>

#include <cstdint>

#include "core/list_page.h"
#include "core/text.h"

namespace {

TEST(ComputeListPage, PagesFromTheNewestRows) {
  struct Case {
    uint64_t count, requested, first, end, page, page_count;
  };
  const Case cases[] = {
      {12, 0, 7, 12, 0, 3}, {12, 1, 2, 7, 1, 3}, {12, 9, 0, 2, 2, 3}, {6, 1, 0, 1, 1, 2},
      {6, 0, 1, 6, 0, 2},   {5, 0, 0, 5, 0, 1},  {5, 3, 0, 5, 0, 1},  {1, 0, 0, 1, 0, 1},
      {0, 0, 0, 0, 0, 0},   {0, 7, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << "," << c.requested);
    const ListPage p = ComputeListPage(c.count, c.requested);
    EXPECT_EQ(p.first, c.first);
    EXPECT_EQ(p.end, c.end);
    EXPECT_EQ(p.page, c.page);
    EXPECT_EQ(p.page_count, c.page_count);
  }
  const ListPage last = ComputeListPage(UINT64_MAX, UINT64_MAX);
  EXPECT_EQ(last.page_count, (UINT64_MAX - 1) / 5 + 1);
  EXPECT_EQ(last.page, last.page_count - 1);
  EXPECT_EQ(last.first, 0u);
  EXPECT_EQ(last.end, UINT64_MAX - last.page * 5);
  const ListPage newest = ComputeListPage(UINT64_MAX, 0);
  EXPECT_EQ(newest.end, UINT64_MAX);
  EXPECT_EQ(newest.first, UINT64_MAX - 5);
}

TEST(Utf16Checks, BoundariesAndWellFormedness) {
  const std::u16string pair = u"a\U0001F600b";  // a, D83D, DE00, b
  EXPECT_TRUE(IsUtf16Boundary(pair, 0));
  EXPECT_TRUE(IsUtf16Boundary(pair, 1));
  EXPECT_FALSE(IsUtf16Boundary(pair, 2));
  EXPECT_TRUE(IsUtf16Boundary(pair, 3));
  EXPECT_TRUE(IsUtf16Boundary(pair, 4));
  EXPECT_FALSE(IsUtf16Boundary(pair, 5));
  EXPECT_TRUE(IsUtf16Boundary(u"", 0));
  EXPECT_FALSE(IsUtf16Boundary(u"", 1));
  // Reversed halves are no pair.
  EXPECT_TRUE(IsUtf16Boundary(std::u16string{0xDE00, 0xD83D}, 1));

  EXPECT_TRUE(IsWellFormedText(u""));
  EXPECT_TRUE(IsWellFormedText(pair));
  EXPECT_TRUE(IsWellFormedText(u"\U0001F600"));
  EXPECT_FALSE(IsWellFormedText(std::u16string{u'a', 0xD83D}));        // high at the end
  EXPECT_FALSE(IsWellFormedText(std::u16string{0xD83D, u'a'}));        // high before a non-low
  EXPECT_FALSE(IsWellFormedText(std::u16string{0xD83D, 0xD83D, 0xDE00}));
  EXPECT_FALSE(IsWellFormedText(std::u16string{0xDE00, u'a'}));        // low at the start
  EXPECT_FALSE(IsWellFormedText(std::u16string{0xD83D, 0xDE00, 0xDE00}));
  EXPECT_FALSE(IsWellFormedText(std::u16string{u'a', 0, u'b'}));
}

TEST(ToSingleLine, CollapsesWhitespaceAndCutsWithAnEllipsis) {
  EXPECT_EQ(ToSingleLine(u"  a\r\n\tb  ", 64), u"a b");
  EXPECT_EQ(ToSingleLine(u"", 64), u"");
  EXPECT_EQ(ToSingleLine(u" \x7F\x01 ", 64), u"");
  EXPECT_EQ(ToSingleLine(u"a\x7F" u"b", 64), u"a b");
  // U+00A0 is not whitespace here.
  EXPECT_EQ(ToSingleLine(u"a\u00A0b", 64), u"a\u00A0b");

  const std::u16string exact(64, u'x');
  EXPECT_EQ(ToSingleLine(exact, 64), exact + u"\u2026");
  EXPECT_EQ(ToSingleLine(std::u16string(63, u'x'), 64), std::u16string(63, u'x'));
  EXPECT_EQ(ToSingleLine(std::u16string(100, u'x'), 64), exact + u"\u2026");

  // A high surrogate as the 64th unit is dropped before the ellipsis.
  const std::u16string cut = std::u16string(63, u'x') + u"\U0001F600";
  EXPECT_EQ(ToSingleLine(cut, 64), std::u16string(63, u'x') + u"\u2026");

  // A pending space before the n-th unit leaves n + 1 units before the ellipsis.
  const std::u16string spaced = std::u16string(62, u'x') + u"   yz";
  EXPECT_EQ(ToSingleLine(spaced, 64), std::u16string(62, u'x') + u" y" + u"\u2026");
  const std::u16string late = std::u16string(63, u'x') + u" y";
  EXPECT_EQ(ToSingleLine(late, 64), std::u16string(63, u'x') + u" y" + u"\u2026");
}

}  // namespace
