#include "phone_ui/ui_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(UiTextTest, LocalizesOnlyWholeKnownTextsWhileEnglishIsOn) {
  struct Case {
    bool english;
    std::u16string_view text, shown;
  };
  const Case cases[] = {
      {false, u"状態", u"状態"},
      {false, u"12秒：甲を顔へ向けて待ってください", u"12秒：甲を顔へ向けて待ってください"},
      {true, u"状態", u"Status"},
      {true, u"状態確認", u"Status"},
      {true, u"Quorix  |  VR入力", u"Quorix | Keyboard"},
      {true, u"Quorix | VR入力", u"Quorix | VR入力"},
      {true, u"状態 ", u"状態 "},
      {true, u"12秒：甲を顔へ向けて待ってください", u"12s: face your hand toward you"},
      {true, u"12秒", u"12秒"},
      {true, u"", u""},
  };
  const bool saved = ui_render_english;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::u16string(c.text).size());
    ui_render_english = c.english;
    EXPECT_EQ(LocalizeUiText(std::u16string(c.text)), c.shown);
  }
  // Every entry is found and says something else in English.
  ui_render_english = true;
  std::set<std::u16string_view> keys;
  for (const UiTextEntry& entry : UiTextEntries()) {
    EXPECT_TRUE(keys.insert(entry.japanese).second);
    EXPECT_EQ(LocalizeUiText(std::u16string(entry.japanese)), entry.english);
    EXPECT_TRUE(entry.japanese == u"ID" || entry.english != entry.japanese);
  }
  ui_render_english = saved;
}

}  // namespace
