#include "phone_ui/ui_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class ScopedEnglish {
 public:
  explicit ScopedEnglish(bool on) : saved_(ui_render_english) { ui_render_english = on; }
  ~ScopedEnglish() { ui_render_english = saved_; }

 private:
  bool saved_;
};

TEST(UiTextTest, LocalizesOnlyWholeKnownTextsWhileEnglishIsOn) {
  {
    ScopedEnglish off(false);
    for (const UiTextEntry& entry : UiTextEntries()) {
      const std::u16string key(entry.japanese);
      EXPECT_EQ(LocalizeUiText(key), key);
    }
    EXPECT_EQ(LocalizeUiText(u"12秒：甲を顔へ向けて待ってください"), u"12秒：甲を顔へ向けて待ってください");
  }

  ScopedEnglish on(true);
  EXPECT_EQ(LocalizeUiText(u"状態"), u"Status");
  EXPECT_EQ(LocalizeUiText(u"状態確認"), u"Status");
  EXPECT_EQ(LocalizeUiText(u"Quorix  |  VR入力"), u"Quorix | Keyboard");
  EXPECT_EQ(LocalizeUiText(u"Quorix | VR入力"), u"Quorix | VR入力");
  EXPECT_EQ(LocalizeUiText(u"状態 "), u"状態 ");
  EXPECT_EQ(LocalizeUiText(u"12秒：甲を顔へ向けて待ってください"), u"12s: face your hand toward you");
  EXPECT_EQ(LocalizeUiText(u"12秒"), u"12秒");
  EXPECT_EQ(LocalizeUiText(u"Close"), u"Close");
  EXPECT_EQ(LocalizeUiText(u""), u"");
  EXPECT_EQ(LocalizeUiText(u"数字・記号"), u"123 / #");
  EXPECT_EQ(LocalizeUiText(u"不在着信"), u"Missed call");

  std::set<std::u16string> keys;
  for (const UiTextEntry& entry : UiTextEntries()) {
    const std::u16string key(entry.japanese);
    keys.insert(key);
    EXPECT_EQ(LocalizeUiText(key), entry.english);
    EXPECT_FALSE(entry.english.empty());
    if (key != u"ID") {
      EXPECT_NE(entry.english, entry.japanese);
    }
  }
  EXPECT_EQ(keys.size(), 65u);
}

}  // namespace
