#include "text_input/vr_keyboard.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/crypto.h"

namespace {

using Cells = std::array<std::u16string_view, 5>;  // tap, left, up, right, down

constexpr std::array<Cells, 12> kKanaTable = {{
    {u"あ", u"い", u"う", u"え", u"お"},
    {u"か", u"き", u"く", u"け", u"こ"},
    {u"さ", u"し", u"す", u"せ", u"そ"},
    {u"た", u"ち", u"つ", u"て", u"と"},
    {u"な", u"に", u"ぬ", u"ね", u"の"},
    {u"は", u"ひ", u"ふ", u"へ", u"ほ"},
    {u"ま", u"み", u"む", u"め", u"も"},
    {u"や", u"\u300C", u"ゆ", u"\u300D", u"よ"},
    {u"ら", u"り", u"る", u"れ", u"ろ"},
    {u"", u"", u"", u"", u""},  // key 9: cycles the last kana (PressFlickKey)
    {u"わ", u"を", u"ん", u"\u30FC", u"\u301C"},
    {u"\u3001", u"\u3002", u"\uFF1F", u"\uFF01", u""},
}};

constexpr std::array<Cells, 12> kAlphabetTable = {{
    {u"@", u"#", u"/", u"&", u"_"},
    {u"a", u"b", u"c", u"", u""},
    {u"d", u"e", u"f", u"", u""},
    {u"g", u"h", u"i", u"", u""},
    {u"j", u"k", u"l", u"", u""},
    {u"m", u"n", u"o", u"", u""},
    {u"p", u"q", u"r", u"s", u""},
    {u"t", u"u", u"v", u"", u""},
    {u"w", u"x", u"y", u"z", u""},
    {u"", u"", u"", u"", u""},  // key 9: shift
    {u"'", u"\"", u"(", u")", u""},
    {u".", u",", u"?", u"!", u""},
}};

constexpr std::array<Cells, 12> kDigitsTable = {{
    {u"1", u"\u2606", u"\u266A", u"\u2192", u""},
    {u"2", u"\u00A5", u"$", u"\u20AC", u""},
    {u"3", u"%", u"\u00B0", u"#", u""},
    {u"4", u"\u25CB", u"\uFF0A", u"\u30FB", u""},
    {u"5", u"+", u"\u00D7", u"\u00F7", u""},
    {u"6", u"<", u"=", u">", u""},
    {u"7", u"\u300C", u"\u300D", u"\uFF1A", u""},
    {u"8", u"\u3012", u"\u3005", u"\u3006", u""},
    {u"9", u"^", u"|", u"\\", u""},
    {u"(", u")", u"[", u"]", u""},
    {u"0", u"\u301C", u"\u2026", u"", u""},
    {u".", u",", u"-", u"/", u""},
}};

constexpr std::array<std::u16string_view, 3> kQwertyLetters = {u"QWERTYUIOP", u"ASDFGHJKL", u"ZXCVBNM"};
constexpr std::array<std::u16string_view, 3> kQwertySymbols = {u"1234567890", u"-/:;()\u00A5&@", u".,?!'"};

constexpr std::array<std::u16string_view, 12> kAlphabetLabels = {
    u"@#/&_", u"ABC", u"DEF", u"GHI", u"JKL", u"MNO", u"PQRS", u"TUV", u"WXYZ", u"a/A", u"\u2019\"()", u".,?!"};
constexpr std::array<std::u16string_view, 12> kDigitLabels = {
    u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"()[]", u"0", u".,-/"};

// Kana key 9's cycles, searched in this order.
constexpr std::array<std::u16string_view, 4> kThreeWayCycles = {u"つづっ", u"うゔぅ", u"ツヅッ", u"ウヴゥ"};
constexpr std::array<std::u16string_view, 42> kVoicedCycles = {
    u"かが", u"きぎ", u"くぐ", u"けげ", u"こご", u"さざ", u"しじ", u"すず", u"せぜ", u"そぞ", u"ただ",
    u"ちぢ", u"つづ", u"てで", u"とど", u"はばぱ", u"ひびぴ", u"ふぶぷ", u"へべぺ", u"ほぼぽ", u"うゔ",
    u"カガ", u"キギ", u"クグ", u"ケゲ", u"コゴ", u"サザ", u"シジ", u"スズ", u"セゼ", u"ソゾ", u"タダ",
    u"チヂ", u"ツヅ", u"テデ", u"トド", u"ハバパ", u"ヒビピ", u"フブプ", u"ヘベペ", u"ホボポ", u"ウヴ"};
constexpr std::array<std::u16string_view, 20> kSmallCycles = {
    u"あぁ", u"いぃ", u"うぅ", u"えぇ", u"おぉ", u"つっ", u"やゃ", u"ゆゅ", u"よょ", u"わゎ",
    u"アァ", u"イィ", u"ウゥ", u"エェ", u"オォ", u"ツッ", u"ヤャ", u"ユュ", u"ヨョ", u"ワヮ"};

struct ConversionWord {
  std::u16string_view reading;
  std::u16string_view kanji;
};
constexpr std::array<ConversionWord, 12> kConversionWords = {{
    {u"ねこ", u"猫"},
    {u"こんにちは", u"今日は"},
    {u"ありがとう", u"有難う"},
    {u"よろしく", u"宜しく"},
    {u"おはよう", u"お早う"},
    {u"こんばんは", u"今晩は"},
    {u"わたし", u"私"},
    {u"にほん", u"日本"},
    {u"きょう", u"今日"},
    {u"あした", u"明日"},
    {u"じかん", u"時間"},
    {u"か", u"蚊"},
}};

constexpr std::array<std::u16string_view, 20> kCompletionWords = {
    u"hello", u"help",  u"helmet", u"the",   u"this", u"there",   u"thank", u"thanks", u"apple", u"chat",
    u"phone", u"world", u"test",   u"good",  u"morning", u"you",  u"your",  u"yes",    u"today", u"tomorrow"};

constexpr std::u16string_view kSmiley = u"^-^";
constexpr char16_t kMaskUnit = u'\u25CF';

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }
char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }

std::u16string AsciiCase(std::u16string_view text, bool upper) {
  std::u16string out(text);
  for (char16_t& c : out) c = upper ? AsciiUpper(c) : AsciiLower(c);
  return out;
}

// Index of the entry of `table` that contains `unit`, or -1.
template <size_t N>
int FindCycle(const std::array<std::u16string_view, N>& table, char16_t unit) {
  for (size_t i = 0; i < N; ++i) {
    if (table[i].find(unit) != std::u16string_view::npos) return static_cast<int>(i);
  }
  return -1;
}

size_t FieldLimit(uint32_t field) {
  if (field == kFieldId) return kIdLimit;
  if (field == kFieldPassword) return kPasswordLimit;
  return kMessageLimit;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Shortens `text` to `length`, zeroing what is removed first.
void WipeTail(std::u16string& text, size_t length) {
  if (length >= text.size()) return;
  platform::SecureZero(text.data() + length, (text.size() - length) * sizeof(char16_t));
  text.resize(length);
}

}  // namespace

bool IsComposableKana(char16_t unit) { return (unit >= 0x3041 && unit <= 0x3096) || unit == 0x30FC; }

bool IsAsciiLetter(char16_t unit) { return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z'); }

std::u16string GetComposingRun(std::u16string_view text, uint64_t caret, bool (*predicate)(char16_t)) {
  size_t start = text.size();
  while (start > 0 && predicate(text[start - 1])) --start;
  const size_t confirmed = static_cast<size_t>(std::min<uint64_t>(caret, text.size()));
  return std::u16string(text.substr(std::max(start, confirmed)));
}

QuorixVrKeyboard::QuorixVrKeyboard() { password.reserve(kPasswordLimit); }

QuorixVrKeyboard::QuorixVrKeyboard(const QuorixVrKeyboard& other)
    : keyboard_kind(other.keyboard_kind),
      flick_layout(other.flick_layout),
      remembered_flick_layout(other.remembered_flick_layout),
      active_field(other.active_field),
      qwerty_symbols(other.qwerty_symbols),
      shift(other.shift),
      id(other.id),
      message(other.message),
      caret(other.caret) {
  password.reserve(std::max(kPasswordLimit, other.password.size()));
  password.assign(other.password);
}

QuorixVrKeyboard& QuorixVrKeyboard::operator=(const QuorixVrKeyboard& other) {
  if (this == &other) return *this;
  keyboard_kind = other.keyboard_kind;
  flick_layout = other.flick_layout;
  remembered_flick_layout = other.remembered_flick_layout;
  active_field = other.active_field;
  qwerty_symbols = other.qwerty_symbols;
  shift = other.shift;
  id = other.id;
  message = other.message;
  caret = other.caret;
  WipePassword();
  if (other.password.size() > password.capacity()) {
    // Growing would free the wiped buffer anyway; take a fresh one of the
    // right size so the old one is never left holding anything.
    std::u16string fresh;
    fresh.reserve(other.password.size());
    password.swap(fresh);
  }
  password.assign(other.password);
  return *this;
}

QuorixVrKeyboard::~QuorixVrKeyboard() { WipePassword(); }

void QuorixVrKeyboard::WipePassword() {
  // The whole buffer, not only the current length: nothing that was ever in
  // it survives.
  platform::SecureZero(password.data(), password.capacity() * sizeof(char16_t));
  password.resize(0);
}

std::u16string& QuorixVrKeyboard::GetActiveFieldText() {
  if (active_field == kFieldId) return id;
  if (active_field == kFieldPassword) return password;
  return message;
}

const std::u16string& QuorixVrKeyboard::GetActiveFieldText() const {
  return const_cast<QuorixVrKeyboard*>(this)->GetActiveFieldText();
}

bool QuorixVrKeyboard::AppendToActiveField(std::u16string_view text) {
  std::u16string& field = GetActiveFieldText();
  if (text.empty() || field.size() + text.size() > FieldLimit(active_field)) return false;
  field.append(text);
  return true;
}

void QuorixVrKeyboard::ClearActiveField() {
  WipeTail(GetActiveFieldText(), 0);
  if (active_field != kFieldId && active_field != kFieldPassword) caret = 0;
}

void QuorixVrKeyboard::Backspace() {
  std::u16string& field = GetActiveFieldText();
  if (!field.empty()) {
    size_t cut = field.size() - 1;
    // A final surrogate pair goes as a whole; a lone half would make the
    // text unconvertible.
    if (cut > 0 && IsLowSurrogate(field[cut]) && IsHighSurrogate(field[cut - 1])) --cut;
    WipeTail(field, cut);
  }
  if (&field == &message) caret = std::min<uint64_t>(caret, message.size());
}

bool QuorixVrKeyboard::IsFlickKeyArea(float x, float y) const {
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  return keyboard_kind == kKeyboardFlick && y >= 465 && y < 729 && x >= 118 && x < 418;
}

bool QuorixVrKeyboard::Flick(float x, float y, uint32_t direction) {
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  if (keyboard_kind != kKeyboardFlick || y < 465 || y >= 729 || x < 18 || x >= 518) return false;
  const int column = static_cast<int>((x - 18) / 100);
  const int row = static_cast<int>((y - 465) / 66);
  if (column < 1 || column > 3 || row > 3) return false;
  PressFlickKey(static_cast<uint32_t>(3 * row + column - 1), direction);
  return true;
}

uint32_t QuorixVrKeyboard::Tap(float x, float y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return 0;
  if (x < 16 || x > 523 || y < 165 || y > 890) return 0;

  if (y >= 174 && y < 226) {
    active_field = kFieldId;
    keyboard_kind = kKeyboardQwerty;
    qwerty_symbols = false;
  } else if (y >= 232 && y < 284) {
    active_field = kFieldPassword;
    keyboard_kind = kKeyboardQwerty;
    qwerty_symbols = false;
  } else if (y >= 290 && y < 340) {
    active_field = kFieldMessage;
  } else if (y >= 405 && y < 458 && active_field == kFieldMessage) {
    ApplyCandidate(x < 185 ? 0 : (x < 352 ? 1 : 2));
  } else if (y >= 352 && y < 402) {
    keyboard_kind = kKeyboardFlick;
    flick_layout = x < 184 ? kFlickKana : (x < 370 ? kFlickAlphabet : kFlickDigits);
    remembered_flick_layout = flick_layout;
  } else if (y >= 465 && y < 729) {
    if (keyboard_kind == kKeyboardQwerty) {
      // x is at least 16 here, so the quotient is above -1 and truncates to
      // column 0 for 16 <= x < 18.
      const int row = static_cast<int>((y - 465) / 88);
      const int column = static_cast<int>((x - 18) / 50);
      if (row == 0 && column <= 9) {
        PressQwertyKey(static_cast<uint32_t>(column));
      } else if (row == 1 && column <= 8) {
        PressQwertyKey(static_cast<uint32_t>(10 + column));
      } else if (row == 2 && !qwerty_symbols) {
        if (column == 0) {
          ToggleShift();
        } else if (column <= 7) {
          PressQwertyKey(static_cast<uint32_t>(18 + column));
        } else if (column == 8) {
          Backspace();
        }
      } else if (row == 2 && column <= 4) {
        PressQwertyKey(static_cast<uint32_t>(19 + column));
      }
    } else if (x >= 18 && x < 518) {
      const int column = static_cast<int>((x - 18) / 100);
      const int row = static_cast<int>((y - 465) / 66);
      if (row <= 3) {
        if (column >= 1 && column <= 3) {
          PressFlickKey(static_cast<uint32_t>(3 * row + column - 1), kFlickTap);
        } else if (column == 0 && row == 2) {
          flick_layout = (flick_layout + 1) % 3;
          remembered_flick_layout = flick_layout;
        } else if (column == 0 && row == 3) {
          remembered_flick_layout = flick_layout;
          keyboard_kind = kKeyboardQwerty;
          qwerty_symbols = false;
        } else if (column == 4 && row == 0) {
          Backspace();
        } else if (column == 4 && row == 1) {
          AppendToActiveField(u" ");
        }
      }
    }
  } else if (y >= 741 && y < 794) {
    if (keyboard_kind == kKeyboardQwerty) {
      if (x < 120) {
        qwerty_symbols = !qwerty_symbols;
      } else if (x < 234) {
        keyboard_kind = kKeyboardFlick;
        flick_layout = remembered_flick_layout;
      } else if (x < 362) {
        AppendToActiveField(u" ");
      } else if (x < 440) {
        Backspace();
      }
    } else {
      if (x < 120) {
        if (flick_layout == kFlickAlphabet) ToggleShift();
      } else if (x < 234) {
        Backspace();
      } else if (x < 362) {
        AppendToActiveField(u" ");
      } else {
        ClearActiveField();
      }
    }
  } else if (y >= 803 && y < 851) {
    return x < 175 ? 1 : (x < 350 ? 2 : 3);
  }
  return 0;
}

void QuorixVrKeyboard::PressFlickKey(uint32_t key, uint32_t direction) {
  if (key >= 12) return;
  if (direction < kFlickLeft || direction > kFlickDown) direction = kFlickTap;
  if (flick_layout == kFlickAlphabet && key == 9) {
    if (direction == kFlickTap) ToggleShift();
    return;
  }
  if (flick_layout == kFlickKana && key == 9 && direction == kFlickTap) {
    if (!CycleLastKana()) AppendToActiveField(kSmiley);
    return;
  }
  const auto& table =
      flick_layout == kFlickKana ? kKanaTable : (flick_layout == kFlickAlphabet ? kAlphabetTable : kDigitsTable);
  const std::u16string_view cell = table[key][direction];
  if (cell.empty()) return;
  if (flick_layout == kFlickAlphabet && shift) {
    AppendToActiveField(AsciiCase(cell, true));
  } else {
    AppendToActiveField(cell);
  }
}

std::u16string QuorixVrKeyboard::QwertyKeyLabel(uint32_t key) const {
  if (key > 25) return {};
  const auto& rows = qwerty_symbols ? kQwertySymbols : kQwertyLetters;
  const size_t row = key < 10 ? 0 : (key < 19 ? 1 : 2);
  const size_t position = key - (row == 0 ? 0 : (row == 1 ? 10 : 19));
  if (position >= rows[row].size()) return {};
  const std::u16string_view label = rows[row].substr(position, 1);
  if (qwerty_symbols) return std::u16string(label);
  return AsciiCase(label, shift);
}

void QuorixVrKeyboard::PressQwertyKey(uint32_t key) {
  const std::u16string label = QwertyKeyLabel(key);
  if (!label.empty()) AppendToActiveField(label);
}

bool QuorixVrKeyboard::CycleLastKana() {
  if (keyboard_kind != kKeyboardFlick || flick_layout != kFlickKana) return false;
  std::u16string& field = GetActiveFieldText();
  if (field.empty()) return false;
  const char16_t last = field.back();
  std::u16string_view entry;
  if (int i = FindCycle(kThreeWayCycles, last); i >= 0) {
    entry = kThreeWayCycles[i];
  } else if (int j = FindCycle(kVoicedCycles, last); j >= 0) {
    entry = kVoicedCycles[j];
  } else if (int k = FindCycle(kSmallCycles, last); k >= 0) {
    entry = kSmallCycles[k];
  } else {
    return false;
  }
  const size_t at = entry.find(last);
  field.back() = entry[(at + 1) % entry.size()];
  if (&field == &message && !message.empty() && caret == message.size()) --caret;
  return true;
}

std::u16string QuorixVrKeyboard::GetModifierKeyLabel() const {
  const std::u16string& field = GetActiveFieldText();
  if (keyboard_kind != kKeyboardFlick || flick_layout != kFlickKana || field.empty()) {
    return std::u16string(kSmiley);
  }
  const char16_t last = field.back();
  if (int i = FindCycle(kThreeWayCycles, last); i >= 0) {
    return kThreeWayCycles[i].front() == last ? u"゛/゜" : u"小文字";
  }
  if (FindCycle(kVoicedCycles, last) >= 0) return u"゛/゜";
  if (FindCycle(kSmallCycles, last) >= 0) return u"小文字";
  return std::u16string(kSmiley);
}

std::u16string QuorixVrKeyboard::GetKeyLabel(uint32_t key) const {
  if (keyboard_kind == kKeyboardQwerty) return QwertyKeyLabel(key);
  if (keyboard_kind != kKeyboardFlick || key >= 12) return {};
  switch (flick_layout) {
    case kFlickKana:
      return key == 9 ? GetModifierKeyLabel() : std::u16string(kKanaTable[key][kFlickTap]);
    case kFlickAlphabet:
      if (key >= 1 && key <= 8) return AsciiCase(kAlphabetLabels[key], shift);
      return std::u16string(kAlphabetLabels[key]);
    case kFlickDigits:
      return std::u16string(kDigitLabels[key]);
    default:
      return {};
  }
}

std::u16string QuorixVrKeyboard::GetKeyHint(uint32_t key) const {
  if (keyboard_kind != kKeyboardFlick || key >= 12) return {};
  if (flick_layout == kFlickKana) return key == 11 ? u"。 ？ ！" : u"";
  if (flick_layout != kFlickDigits) return {};
  if (key == 9) return u"( ) [ ]";
  std::u16string hint;
  for (uint32_t direction = kFlickLeft; direction <= kFlickDown; ++direction) {
    const std::u16string_view cell = kDigitsTable[key][direction];
    if (cell.empty()) continue;
    if (!hint.empty()) hint += u' ';
    hint += cell;
  }
  return hint;
}

bool QuorixVrKeyboard::IsLatinMode() const {
  return (keyboard_kind == kKeyboardQwerty && !qwerty_symbols) ||
         (keyboard_kind == kKeyboardFlick && flick_layout == kFlickAlphabet);
}

std::vector<std::u16string> QuorixVrKeyboard::GetCandidates() const {
  std::vector<std::u16string> candidates;
  if (active_field != kFieldMessage || message.empty()) return candidates;
  if (keyboard_kind == kKeyboardFlick && flick_layout == kFlickKana) {
    const std::u16string run = GetComposingRun(message, caret, IsComposableKana);
    if (run.empty()) return candidates;
    candidates.push_back(run);
    for (const ConversionWord& word : kConversionWords) {
      if (word.reading == run) {
        candidates.emplace_back(word.kanji);
        break;
      }
    }
    std::u16string katakana = run;
    for (char16_t& c : katakana) {
      if (c >= 0x3041 && c <= 0x3096) c = static_cast<char16_t>(c + 0x60);
    }
    if (katakana != run) candidates.push_back(std::move(katakana));
    if (candidates.size() > 3) candidates.resize(3);
  } else if (IsLatinMode()) {
    const std::u16string run = GetComposingRun(message, caret, IsAsciiLetter);
    if (run.empty()) return candidates;
    candidates.push_back(run);
    const std::u16string lower = AsciiCase(run, false);
    for (std::u16string_view word : kCompletionWords) {
      if (candidates.size() >= 3) break;
      if (word.size() > lower.size() && word.starts_with(lower)) candidates.emplace_back(word);
    }
  }
  return candidates;
}

bool QuorixVrKeyboard::ApplyCandidate(size_t index) {
  const std::vector<std::u16string> candidates = GetCandidates();
  if (index >= candidates.size()) return false;
  const bool latin = keyboard_kind == kKeyboardQwerty || flick_layout != kFlickKana;
  const std::u16string run = GetComposingRun(message, caret, latin ? IsAsciiLetter : IsComposableKana);
  if (run.empty()) return false;
  const size_t kept = message.size() - run.size();
  // A completion may be longer than what it replaces; the message never
  // grows past its limit.
  if (kept + candidates[index].size() > kMessageLimit) return false;
  message.resize(kept);
  message += candidates[index];
  caret = message.size();
  return true;
}

std::u16string QuorixVrKeyboard::GetDisplayText(uint32_t field) const {
  if (field == kFieldId) return id;
  if (field == kFieldPassword) return std::u16string(password.size(), kMaskUnit);
  return message;
}

size_t QuorixVrKeyboard::ActiveFieldLimit() const { return FieldLimit(active_field); }

bool QuorixVrKeyboard::SetActiveFieldText(std::u16string_view text) {
  if (text.size() > FieldLimit(active_field)) return false;
  std::u16string& field = GetActiveFieldText();
  if (field == text) return true;
  if (&field == &password) {
    // Within the limit the reserved buffer takes it without reallocating.
    WipePassword();
    password.assign(text);
    return true;
  }
  field.assign(text);
  if (&field == &message) caret = 0;
  return true;
}

bool QuorixVrKeyboard::SetMessageText(std::u16string_view text) {
  if (text.size() > kMessageLimit || text.find(u'\0') != std::u16string_view::npos) return false;
  const auto mismatch = std::mismatch(message.begin(), message.end(), text.begin(), text.end());
  const uint64_t common = static_cast<uint64_t>(mismatch.first - message.begin());
  if (common < caret) caret = common;
  message.assign(text);
  return true;
}

bool QuorixVrKeyboard::MoveCaretToEnd() {
  if (active_field != kFieldMessage) return false;
  caret = message.size();
  return true;
}

bool QuorixVrKeyboard::GetCredentials(std::u16string* id_out, std::u16string* password_out) const {
  if (id_out == nullptr || password_out == nullptr || id.empty() || password.empty()) return false;
  *id_out = id;
  *password_out = password;
  return true;
}
