#include "phone_ui/ui_text.h"

#include <array>
#include <map>

bool ui_render_english = false;
bool ui_render_dark = false;

namespace {

constexpr std::array<UiTextEntry, 65> kUiTexts = {{
    {u"閉じる", u"Close"},
    {u"戻る", u"Back"},
    {u"設定", u"Settings"},
    {u"手首の調整", u"Wrist ring"},
    {u"音声デバイス", u"Audio devices"},
    {u"マイク", u"Microphone"},
    {u"スピーカー・ヘッドセット", u"Speaker / headset"},
    {u"前へ", u"Previous"},
    {u"次へ", u"Next"},
    {u"機器を選んでください", u"Select a device"},
    {u"機器を再読込", u"Refresh devices"},
    {u"完了", u"Done"},
    {u"通話前に使用する機器を選んでください", u"Choose your audio devices before a call."},
    {u"通話中は確認のみ・終話後に変更できます", u"End the call before changing devices."},
    {u"選んだ機器を次の発信・応答で使用します", u"Used for your next outgoing / answered call."},
    {u"選択できません。接続と通話状態を確認してください", u"Check the connection and call state."},
    {u"横 X", u"Side X"},
    {u"高さ Y", u"Height Y"},
    {u"前後 Z", u"Depth Z"},
    {u"甲の方向を切り替え", u"Change hand-facing axis"},
    {u"3秒後の姿勢で甲の向きを合わせる", u"Calibrate in 3 seconds"},
    {u"引く距離", u"Pull distance"},
    {u"甲を顔へ向け、3秒待つと方向が保存されます。", u"Face your hand toward you and wait 3 seconds."},
    {u"位置は1回の操作で10 mmずつ変わります。", u"Position changes by 10 mm per step."},
    {u"設定を保存できませんでした。", u"Could not save settings."},
    {u"Quorix 入力", u"Quorix input"},
    {u"Quorix  |  VR入力", u"Quorix | Keyboard"},
    {u"ユーザーID", u"User ID"},
    {u"パスワード", u"Password"},
    {u"下書き", u"Message"},
    {u"入力", u"Input"},
    {u"ログイン", u"Log in"},
    {u"ログアウト", u"Log out"},
    {u"状態確認", u"Status"},
    {u"状態", u"Status"},
    {u"かな", u"Kana"},
    {u"英数", u"ABC"},
    {u"数字", u"123"},
    {u"記号", u"Symbols"},
    {u"確定", u"Confirm"},
    {u"変換", u"Convert"},
    {u"空白", u"Space"},
    {u"英字", u"ABC"},
    {u"数字・記号", u"123 / #"},
    {u"切替", u"Switch"},
    {u"小文字", u"Small"},
    {u"フリック", u"Flick"},
    {u"候補", u"Candidates"},
    {u"削除", u"Delete"},
    {u"消去", u"Clear"},
    {u"ID", u"ID"},
    {u"本文", u"Message"},
    {u"未入力", u"Empty"},
    {u"入力欄を押すと別ウィンドウにキーボードを表示", u"Tap a field to open the keyboard."},
    {u"キーボード", u"Keyboard"},
    {u"送信", u"Send"},
    {u"ログインを確認してください", u"Check your login"},
    {u"IDとパスワードを確認して再操作してください", u"Check your ID and password, then try again."},
    {u"通話に接続できませんでした", u"Could not connect the call"},
    {u"Quorixで接続状態を確認してください", u"Check the connection in Quorix."},
    {u"不在着信", u"Missed call"},
    {u"通話の接続を確認してください", u"Check the call connection"},
    {u"接続の回復を待つか、Quorixから再ログインしてください", u"Wait for reconnection, or log in again."},
    {u"通話の待受が復旧しました", u"Call connection restored"},
    {u"着信を受け取れます", u"You can receive calls again."},
}};

constexpr std::u16string_view kSecondsMark = u"秒：";
constexpr std::u16string_view kCountdownEnglish = u"s: face your hand toward you";

const std::map<std::u16string, std::u16string>& UiTextTable() {
  static const std::map<std::u16string, std::u16string> table = [] {
    std::map<std::u16string, std::u16string> built;
    for (const UiTextEntry& entry : kUiTexts) {
      built.emplace(std::u16string(entry.japanese), std::u16string(entry.english));
    }
    return built;
  }();
  return table;
}

}  // namespace

std::span<const UiTextEntry> UiTextEntries() { return kUiTexts; }

std::u16string LocalizeUiText(const std::u16string& text) {
  if (!ui_render_english) return text;
  const auto& table = UiTextTable();
  if (auto found = table.find(text); found != table.end()) return found->second;
  if (size_t at = text.find(kSecondsMark); at != std::u16string::npos) {
    return text.substr(0, at) + std::u16string(kCountdownEnglish);
  }
  return text;
}
