#include "text_input/vr_keyboard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using Candidates = std::vector<std::u16string>;

// Centre of flick key `key` (rows of three, columns 1..3 of the grid).
float FlickX(uint32_t key) { return 18 + 100 * (key % 3 + 1) + 50; }
float FlickY(uint32_t key) { return 465 + 66 * (key / 3) + 33; }
float QwertyX(int column) { return 18 + 50 * column + 25; }
float QwertyY(int row) { return 465 + 88 * row + 44; }
constexpr float kControlY = 760;
constexpr float kTabY = 370;

void TapFlickKey(QuorixVrKeyboard& kb, uint32_t key) { kb.Tap(FlickX(key), FlickY(key)); }

bool SameRecord(const QuorixVrKeyboard& a, const QuorixVrKeyboard& b) {
  return a.keyboard_kind == b.keyboard_kind && a.flick_layout == b.flick_layout &&
         a.remembered_flick_layout == b.remembered_flick_layout && a.active_field == b.active_field &&
         a.qwerty_symbols == b.qwerty_symbols && a.shift == b.shift && a.id == b.id && a.password == b.password &&
         a.message == b.message && a.caret == b.caret;
}

TEST(VrKeyboardTest, BandsAndNonFiniteCoordinates) {
  QuorixVrKeyboard fresh;
  EXPECT_EQ(fresh.active_field, kFieldMessage);
  EXPECT_EQ(fresh.keyboard_kind, kKeyboardFlick);

  struct Case {
    float x, y;
    uint32_t action;
    bool changes;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {200, 173.9f, 0, false}, {200, 226, 0, false}, {174.9f, 820, 1, false}, {175, 820, 2, false},
      {350, 820, 3, false},    {523.1f, 180, 0, false}, {15.9f, 180, 0, false}, {nan, 180, 0, false},
      {200, nan, 0, false},    {inf, 500, 0, false},  {-inf, 500, 0, false}, {200, inf, 0, false},
      {200, 174, 0, true},
  };
  for (const Case& c : cases) {
    QuorixVrKeyboard kb;
    kb.message = u"abc";
    const QuorixVrKeyboard before = kb;
    EXPECT_EQ(kb.Tap(c.x, c.y), c.action) << c.x << "," << c.y;
    EXPECT_EQ(!SameRecord(kb, before), c.changes) << c.x << "," << c.y;
  }

  QuorixVrKeyboard kb;
  EXPECT_FALSE(kb.Flick(nan, FlickY(0), kFlickUp));
  EXPECT_FALSE(kb.IsFlickKeyArea(FlickX(0), -nan));
  EXPECT_TRUE(kb.IsFlickKeyArea(FlickX(0), FlickY(0)));

  // y 174 is the id row: QWERTY letters. x 16 is still column 0.
  kb.Tap(200, 174);
  EXPECT_EQ(kb.active_field, kFieldId);
  EXPECT_EQ(kb.keyboard_kind, kKeyboardQwerty);
  kb.Tap(16, QwertyY(0));
  EXPECT_EQ(kb.id, u"q");
  kb.Tap(nan, QwertyY(0));
  kb.Tap(QwertyX(0), nan);
  EXPECT_EQ(kb.id, u"q");
}

TEST(VrKeyboardTest, FlickAndQwertyTables) {
  QuorixVrKeyboard kb;
  kb.PressFlickKey(0, kFlickDown);
  kb.PressFlickKey(11, kFlickDown);
  kb.PressFlickKey(9, kFlickLeft);
  kb.PressFlickKey(3, 7);  // unknown direction: a tap
  kb.PressFlickKey(12, kFlickTap);
  EXPECT_EQ(kb.message, u"おた");
  EXPECT_TRUE(kb.Flick(FlickX(7), FlickY(7), kFlickRight));
  EXPECT_EQ(kb.message, u"おた」");
  EXPECT_FALSE(kb.Flick(60, FlickY(0), kFlickRight));  // left column is not a flick key

  kb.message.clear();
  kb.flick_layout = kFlickAlphabet;
  kb.PressFlickKey(6, kFlickRight);
  kb.shift = true;
  kb.PressFlickKey(6, kFlickRight);
  kb.PressFlickKey(10, kFlickTap);
  EXPECT_EQ(kb.message, u"sS'");
  kb.PressFlickKey(9, kFlickTap);
  EXPECT_FALSE(kb.shift);
  kb.PressFlickKey(9, kFlickUp);
  EXPECT_FALSE(kb.shift);

  kb.message.clear();
  kb.flick_layout = kFlickDigits;
  kb.PressFlickKey(8, kFlickRight);
  EXPECT_EQ(kb.message, u"\\");

  struct Label {
    uint32_t kind, layout;
    bool symbols, shift;
    uint32_t key;
    std::u16string label, hint;
  };
  const Label labels[] = {
      {kKeyboardQwerty, 0, true, false, 24, u"", u""},
      {kKeyboardQwerty, 0, true, false, 23, u"'", u""},
      {kKeyboardQwerty, 0, false, false, 19, u"z", u""},
      {kKeyboardQwerty, 0, false, true, 19, u"Z", u""},
      {kKeyboardQwerty, 0, false, false, 26, u"", u""},
      {kKeyboardFlick, kFlickAlphabet, false, false, 1, u"abc", u""},
      {kKeyboardFlick, kFlickAlphabet, false, true, 1, u"ABC", u""},
      {kKeyboardFlick, kFlickAlphabet, false, false, 9, u"a/A", u""},
      {kKeyboardFlick, kFlickAlphabet, false, false, 10, u"\u2019\"()", u""},
      {kKeyboardFlick, kFlickDigits, false, false, 9, u"()[]", u"( ) [ ]"},
      {kKeyboardFlick, kFlickDigits, false, false, 10, u"0", u"〜 …"},
      {kKeyboardFlick, kFlickDigits, false, false, 0, u"1", u"☆ ♪ →"},
      {kKeyboardFlick, kFlickKana, false, false, 11, u"、", u"。 ？ ！"},
      {kKeyboardFlick, kFlickKana, false, false, 10, u"わ", u""},
      {kKeyboardFlick, kFlickKana, false, false, 12, u"", u""},
  };
  for (const Label& l : labels) {
    QuorixVrKeyboard k;
    k.keyboard_kind = l.kind;
    k.flick_layout = l.layout;
    k.qwerty_symbols = l.symbols;
    k.shift = l.shift;
    EXPECT_EQ(k.GetKeyLabel(l.key), l.label) << l.kind << "/" << l.layout << " key " << l.key;
    EXPECT_EQ(k.GetKeyHint(l.key), l.hint) << l.kind << "/" << l.layout << " key " << l.key;
  }
}

TEST(VrKeyboardTest, KanaCycling) {
  const std::vector<std::vector<std::u16string>> cycles = {
      {u"か", u"が", u"か"}, {u"つ", u"づ", u"っ", u"つ"}, {u"う", u"ゔ", u"ぅ", u"う"},
      {u"は", u"ば", u"ぱ", u"は"}, {u"カ", u"ガ"}, {u"あ", u"ぁ"}, {u"ん", u"ん^-^"}, {u"", u"^-^"},
  };
  for (const auto& cycle : cycles) {
    QuorixVrKeyboard kb;
    kb.message = cycle[0];
    for (size_t i = 1; i < cycle.size(); ++i) {
      TapFlickKey(kb, 9);
      EXPECT_EQ(kb.message, cycle[i]);
    }
  }

  // The caret at the end moves back onto the changed kana.
  QuorixVrKeyboard kb;
  kb.message = u"あか";
  kb.caret = 2;
  EXPECT_TRUE(kb.CycleLastKana());
  EXPECT_EQ(kb.message, u"あが");
  EXPECT_EQ(kb.caret, 1u);

  kb.active_field = kFieldId;
  kb.id = u"か";
  EXPECT_TRUE(kb.CycleLastKana());
  EXPECT_EQ(kb.id, u"が");
  EXPECT_EQ(kb.caret, 1u);
  kb.keyboard_kind = kKeyboardQwerty;
  EXPECT_FALSE(kb.CycleLastKana());

  const std::pair<std::u16string, std::u16string> modifier_labels[] = {
      {u"つ", u"゛/゜"}, {u"づ", u"小文字"}, {u"っ", u"小文字"}, {u"か", u"゛/゜"},
      {u"あ", u"小文字"}, {u"ん", u"^-^"},   {u"", u"^-^"},
  };
  for (const auto& [text, label] : modifier_labels) {
    QuorixVrKeyboard k;
    k.message = text;
    EXPECT_EQ(k.GetKeyLabel(9), label) << label.size();
    k.keyboard_kind = kKeyboardQwerty;
    EXPECT_EQ(k.GetModifierKeyLabel(), u"^-^");
  }
}

TEST(VrKeyboardTest, FieldLimits) {
  QuorixVrKeyboard kb;
  kb.keyboard_kind = kKeyboardQwerty;
  kb.active_field = kFieldId;
  kb.id.assign(127, u'a');
  kb.PressQwertyKey(0);
  kb.PressQwertyKey(0);
  EXPECT_EQ(kb.id.size(), 128u);
  kb.active_field = kFieldPassword;
  kb.password.assign(256, u'a');
  kb.PressQwertyKey(0);
  kb.Tap(300, kControlY);  // blank
  EXPECT_EQ(kb.password.size(), 256u);

  QuorixVrKeyboard m;
  m.message.assign(999, u'a');
  m.PressFlickKey(9, kFlickTap);  // "^-^" would split: nothing
  EXPECT_EQ(m.message.size(), 999u);
  m.PressFlickKey(0, kFlickTap);
  EXPECT_EQ(m.message.size(), 1000u);
  EXPECT_EQ(m.message.back(), u'あ');
  m.PressFlickKey(0, kFlickTap);
  EXPECT_EQ(m.message.size(), 1000u);
}

TEST(VrKeyboardTest, Candidates) {
  struct Case {
    uint32_t kind, layout, field;
    std::u16string message;
    uint64_t caret;
    Candidates expected;
  };
  const Case cases[] = {
      {kKeyboardFlick, kFlickKana, kFieldMessage, u"こんにちは", 0, {u"こんにちは", u"今日は", u"コンニチハ"}},
      {kKeyboardFlick, kFlickKana, kFieldMessage, u"ねこ", 1, {u"こ", u"コ"}},
      {kKeyboardFlick, kFlickKana, kFieldMessage, u"ーー", 0, {u"ーー"}},
      {kKeyboardFlick, kFlickKana, kFieldMessage, u"abc", 0, {}},
      {kKeyboardQwerty, 0, kFieldMessage, u"he", 0, {u"he", u"hello", u"help"}},
      {kKeyboardFlick, kFlickAlphabet, kFieldMessage, u"Th", 0, {u"Th", u"the", u"this"}},
      {kKeyboardFlick, kFlickAlphabet, kFieldMessage, u"x tomorrow", 0, {u"tomorrow"}},
      {kKeyboardFlick, kFlickDigits, kFieldMessage, u"he", 0, {}},
      {kKeyboardQwerty, 0, kFieldId, u"he", 0, {}},
  };
  for (const Case& c : cases) {
    QuorixVrKeyboard kb;
    kb.keyboard_kind = c.kind;
    kb.flick_layout = c.layout;
    kb.active_field = c.field;
    kb.message = c.message;
    kb.caret = c.caret;
    EXPECT_EQ(kb.GetCandidates(), c.expected) << c.message.size();
  }

  QuorixVrKeyboard kb;
  ASSERT_TRUE(kb.SetMessageText(u"こんにちは"));
  EXPECT_FALSE(kb.ApplyCandidate(3));
  EXPECT_TRUE(kb.ApplyCandidate(1));
  EXPECT_EQ(kb.message, u"今日は");
  EXPECT_EQ(kb.caret, 3u);

  // The candidate bar picks by band.
  ASSERT_TRUE(kb.SetMessageText(u"今日はねこ"));
  kb.caret = 3;
  kb.Tap(200, 430);
  EXPECT_EQ(kb.message, u"今日は猫");

  // A completion never pushes the message past 1000 units.
  QuorixVrKeyboard full;
  full.flick_layout = kFlickAlphabet;
  ASSERT_TRUE(full.SetMessageText(std::u16string(995, u'。') + u"to"));
  EXPECT_EQ(full.GetCandidates(), (Candidates{u"to", u"today", u"tomorrow"}));
  QuorixVrKeyboard refused = full;
  EXPECT_FALSE(refused.ApplyCandidate(2));
  EXPECT_EQ(refused.message, full.message);
  EXPECT_EQ(refused.caret, full.caret);
  EXPECT_TRUE(full.ApplyCandidate(1));
  EXPECT_EQ(full.message.size(), 1000u);
  EXPECT_EQ(full.caret, 1000u);
}

TEST(VrKeyboardTest, ModesAndLayouts) {
  QuorixVrKeyboard kb;
  kb.Tap(300, kTabY);
  EXPECT_EQ(kb.flick_layout, kFlickAlphabet);
  EXPECT_EQ(kb.remembered_flick_layout, kFlickAlphabet);
  kb.Tap(400, kTabY);
  EXPECT_EQ(kb.flick_layout, kFlickDigits);
  kb.Tap(100, kTabY);
  EXPECT_EQ(kb.flick_layout, kFlickKana);

  const uint32_t order[] = {kFlickAlphabet, kFlickDigits, kFlickKana};
  for (uint32_t layout : order) {
    kb.Tap(60, 465 + 66 * 2 + 10);
    EXPECT_EQ(kb.flick_layout, layout);
    EXPECT_EQ(kb.remembered_flick_layout, layout);
  }
  // Left column rows 0 and 1 are inert.
  const QuorixVrKeyboard before = kb;
  kb.Tap(60, 470);
  kb.Tap(60, 540);
  EXPECT_TRUE(SameRecord(kb, before));

  // The id row goes to QWERTY; the control row brings back the alphabet.
  kb.Tap(300, kTabY);
  kb.Tap(200, 200);
  EXPECT_EQ(kb.keyboard_kind, kKeyboardQwerty);
  kb.Tap(100, kControlY);
  EXPECT_TRUE(kb.qwerty_symbols);
  kb.Tap(QwertyX(4), QwertyY(2));
  EXPECT_EQ(kb.id, u"'");
  kb.Tap(450, kControlY);  // inert
  kb.Tap(150, kControlY);
  EXPECT_EQ(kb.keyboard_kind, kKeyboardFlick);
  EXPECT_EQ(kb.flick_layout, kFlickAlphabet);

  // Left column row 3 remembers the layout and opens the QWERTY letters.
  kb.Tap(60, 465 + 66 * 3 + 10);
  EXPECT_EQ(kb.keyboard_kind, kKeyboardQwerty);
  EXPECT_FALSE(kb.qwerty_symbols);
  EXPECT_EQ(kb.remembered_flick_layout, kFlickAlphabet);
  kb.Tap(QwertyX(0), QwertyY(2));  // shift
  kb.Tap(QwertyX(1), QwertyY(2));
  EXPECT_EQ(kb.id, u"'Z");
  kb.Tap(QwertyX(8), QwertyY(2));  // backspace
  EXPECT_EQ(kb.id, u"'");

  // Flick control row: clear empties the field and resets the caret.
  QuorixVrKeyboard m;
  ASSERT_TRUE(m.SetMessageText(u"hello"));
  m.MoveCaretToEnd();
  m.Tap(300, kControlY);
  EXPECT_EQ(m.message, u"hello ");
  m.Tap(150, kControlY);
  EXPECT_EQ(m.message, u"hello");
  m.Tap(400, kControlY);
  EXPECT_EQ(m.message, u"");
  EXPECT_EQ(m.caret, 0u);
}

TEST(VrKeyboardTest, MessageTextAndCaret) {
  QuorixVrKeyboard kb;
  ASSERT_TRUE(kb.SetMessageText(u"abcdef"));
  EXPECT_TRUE(kb.MoveCaretToEnd());
  EXPECT_EQ(kb.caret, 6u);
  EXPECT_FALSE(kb.SetMessageText(std::u16string(1001, u'a')));
  EXPECT_FALSE(kb.SetMessageText(std::u16string(u"ab\0c", 4)));
  EXPECT_EQ(kb.message, u"abcdef");
  EXPECT_EQ(kb.caret, 6u);
  EXPECT_TRUE(kb.SetMessageText(u"abcxyz"));
  EXPECT_EQ(kb.caret, 3u);

  // A final surrogate pair goes as a whole.
  ASSERT_TRUE(kb.SetMessageText(u"a\U0001F600"));
  kb.MoveCaretToEnd();
  kb.Backspace();
  EXPECT_EQ(kb.message, u"a");
  EXPECT_EQ(kb.caret, 1u);
  kb.Backspace();
  kb.Backspace();
  EXPECT_EQ(kb.message, u"");

  kb.active_field = kFieldId;
  EXPECT_FALSE(kb.MoveCaretToEnd());
  EXPECT_EQ(GetComposingRun(u"abc", 99, IsAsciiLetter), u"");
  EXPECT_EQ(GetComposingRun(u"12ab", 0, IsAsciiLetter), u"ab");
}

TEST(VrKeyboardTest, PasswordIsMaskedAndWiped) {
  QuorixVrKeyboard kb;
  kb.password = u"abcde";
  EXPECT_EQ(kb.GetDisplayText(kFieldPassword), u"●●●●●");
  EXPECT_EQ(kb.GetDisplayText(7), kb.message);
  std::u16string id, password;
  EXPECT_FALSE(kb.GetCredentials(&id, &password));  // empty id
  kb.id = u"me";
  EXPECT_FALSE(kb.GetCredentials(nullptr, &password));
  EXPECT_TRUE(kb.GetCredentials(&id, &password));
  EXPECT_EQ(password, u"abcde");

  // The buffer never moves while the password grows to its limit.
  QuorixVrKeyboard p;
  p.keyboard_kind = kKeyboardQwerty;
  p.active_field = kFieldPassword;
  const char16_t* buffer = p.password.data();
  for (int i = 0; i < 300; ++i) p.PressQwertyKey(i % 10);
  EXPECT_EQ(p.password.size(), 256u);
  EXPECT_EQ(p.password.data(), buffer);

  auto zero_between = [](const char16_t* at, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (at[i] != 0) return false;
    }
    return true;
  };

  p.Backspace();
  EXPECT_TRUE(zero_between(buffer, 255, 256));
  p.keyboard_kind = kKeyboardFlick;
  p.Tap(400, kControlY);  // clear
  EXPECT_TRUE(p.password.empty());
  EXPECT_TRUE(zero_between(buffer, 0, 256));
  EXPECT_EQ(p.password.data(), buffer);

  p.password.assign(20, u'x');
  p.WipePassword();
  EXPECT_TRUE(zero_between(buffer, 0, 20));
  WipeWideString(nullptr);
  std::u16string other = u"secret-secret-secret";
  const char16_t* other_buffer = other.data();
  WipeWideString(&other);
  EXPECT_TRUE(other.empty());
  EXPECT_TRUE(zero_between(other_buffer, 0, 20));

  // Copy and move assignment wipe what the shorter password leaves behind.
  QuorixVrKeyboard ten;
  ten.password.assign(10, u'y');
  p.password.assign(20, u'x');
  p = ten;
  EXPECT_EQ(p.password.data(), buffer);
  EXPECT_EQ(p.password, std::u16string(10, u'y'));
  EXPECT_TRUE(zero_between(buffer, 10, 20));

  p.password.assign(20, u'x');
  p = std::move(ten);
  EXPECT_EQ(p.password.data(), buffer);
  EXPECT_EQ(p.password, std::u16string(10, u'y'));
  EXPECT_TRUE(zero_between(buffer, 10, 20));

  // A copy gets its own reserved buffer.
  QuorixVrKeyboard copy(p);
  const char16_t* copy_buffer = copy.password.data();
  for (int i = 0; i < 246; ++i) copy.password.push_back(u'z');
  EXPECT_EQ(copy.password.data(), copy_buffer);
}

}  // namespace
