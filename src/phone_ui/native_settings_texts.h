#pragma once
// The labels of the friend request, friend notification, settings, pointer
// and history screens and of the popup cards: each a Japanese and an English
// form.
#include <span>

#include "phone_ui/native_texts.h"

namespace native_text {

inline constexpr NativeText kRequestsTitle{u"フレンド申請", u"Friend requests"};
inline constexpr NativeText kAddById{u"相手のユーザーIDで申請", u"Add by user ID"};
inline constexpr NativeText kIdPlaceholder{u"User ID", u"User ID"};
inline constexpr NativeText kRequestSend{u"申請する", u"Send"};
inline constexpr NativeText kWorking{u"処理しています…", u"Working…"};
inline constexpr NativeText kResultUnknown{u"結果が未確認です。更新して確認してください。",
                                           u"Result unknown. Refresh before trying again."};
inline constexpr NativeText kRequestFailed{u"申請できませんでした。ID・状態を確認してください。",
                                           u"Request failed. Check the ID and request status."};
inline constexpr NativeText kUpdated{u"更新しました。", u"Updated."};
inline constexpr NativeText kRequestHint{u"承認後、フレンド一覧に表示されます。",
                                         u"Accepted requests appear in your Friends list."};
inline constexpr NativeText kRequestList{u"届いた申請・送った申請", u"Incoming and sent requests"};
inline constexpr NativeText kNoRequests{u"現在、申請はありません。", u"No pending requests."};
inline constexpr NativeText kIncoming{u"届いた申請", u"Incoming"};
inline constexpr NativeText kPending{u"承認待ち", u"Pending"};
inline constexpr NativeText kSkip{u"見送る", u"Skip"};
inline constexpr NativeText kAccept{u"承認", u"Accept"};

inline constexpr NativeText kFriendNotifications{u"フレンドの通知", u"Friend notifications"};
inline constexpr NativeText kModeNormal{u"通常", u"Normal"};
inline constexpr NativeText kModeSoundOff{u"音だけOFF", u"Sound off"};
inline constexpr NativeText kModeAllOff{u"音・ポップOFF", u"Sound + pop off"};
inline constexpr NativeText kMuteRule{u"全体と相手別で、強い方のミュートを適用します。",
                                      u"The stronger global or friend mute takes effect."};
inline constexpr NativeText kMuteNote{u"未読件数・着信履歴は残ります。", u"Unread counts and call history are kept."};
inline constexpr NativeText kOpenConversation{u"トークを開く", u"Open conversation"};

inline constexpr NativeText kAudio{u"音声", u"Audio"};
inline constexpr NativeText kAppearance{u"外観", u"Appearance"};
inline constexpr NativeText kLight{u"白 × 青", u"Light"};
inline constexpr NativeText kDark{u"黒 × 青", u"Dark"};
inline constexpr NativeText kLanguage{u"言語 / Language", u"Language / 言語"};
inline constexpr NativeText kJapanese{u"日本語", u"日本語"};
inline constexpr NativeText kEnglish{u"English", u"English"};
inline constexpr NativeText kGlobalNotifications{u"全体の通知", u"Notifications"};
inline constexpr NativeText kRingColour{u"リングの色", u"Ring color"};
inline constexpr NativeText kWhite{u"白", u"White"};
inline constexpr NativeText kBlack{u"黒", u"Black"};
inline constexpr NativeText kRingAngle{u"リングの表示角度", u"Ring angle"};
inline constexpr NativeText kMinus{u"−", u"−"};
inline constexpr NativeText kPlus{u"＋", u"＋"};
inline constexpr NativeText kResetPosition{u"画面を正面へ", u"Reset position"};
inline constexpr NativeText kHistoryFiles{u"履歴ファイル", u"History files"};
inline constexpr NativeText kWristCalibration{u"手首の調整", u"Wrist calibration"};
inline constexpr NativeText kLogOut{u"ログアウト", u"Log out"};
inline constexpr NativeText kToLogin{u"ログインへ", u"Back to login"};
inline constexpr NativeText kPointerEntry{u"ポインターの色・大きさ・操作する手", u"Pointer: color, size and hand"};
inline constexpr NativeText kSavedHere{u"設定はこのPCに保存されます。", u"Preferences are saved on this PC."};
inline constexpr NativeText kSaveFailed{u"設定を保存できませんでした。", u"Could not save settings."};

inline constexpr NativeText kPointer{u"ポインター", u"Pointer"};
inline constexpr NativeText kBack{u"戻る", u"Back"};
inline constexpr NativeText kPointerHand{u"操作する手", u"Pointer hand"};
inline constexpr NativeText kLeftHand{u"左手", u"Left"};
inline constexpr NativeText kRightHand{u"右手", u"Right"};
inline constexpr NativeText kPointerColour{u"ポインターの色", u"Pointer color"};
inline constexpr NativeText kRed{u"赤", u"Red"};
inline constexpr NativeText kBlueRim{u"青・黒ふち", u"Blue / black rim"};
inline constexpr NativeText kPointerSize{u"ポインターの大きさ", u"Pointer size"};
inline constexpr NativeText kSizeRange{u"50〜200%・25%ずつ調整", u"50–200%, in steps of 25%"};
inline constexpr NativeText kPreview{u"プレビュー", u"Preview"};
inline constexpr NativeText kAppliesNow{u"変更はすぐ反映され、次回も保持します。",
                                        u"Changes apply now and are saved for next time."};

inline constexpr NativeText kHistoryLead{u"このPCの履歴を手動で移せます。", u"Move your history manually."};
inline constexpr NativeText kExportHistory{u"履歴を書き出す", u"Export history"};
inline constexpr NativeText kImportHistory{u"履歴を取り込む", u"Import history"};
inline constexpr NativeText kImportMerges{u"同じアカウントの履歴に結合します。", u"Import merges history for this account."};
inline constexpr NativeText kExportReadable{u"ファイルは暗号化されません。安全に保管してください。",
                                            u"Exported files are readable. Store them safely."};
inline constexpr NativeText kChooseFile{u"ファイルはデスクトップの画面で選びます。",
                                        u"Choose the file in the desktop dialog."};

inline constexpr NativeText kCallEnded{u"通話が終了しました", u"Call ended"};
inline constexpr NativeText kIncomingCall{u"着信中…", u"Incoming call…"};
inline constexpr NativeText kInCall{u"通話中", u"In call"};
inline constexpr NativeText kCalling{u"発信中…", u"Calling…"};
inline constexpr NativeText kEndingCall{u"終了を確認しています…", u"Ending call…"};
inline constexpr NativeText kCallConnecting{u"接続中…", u"Connecting…"};
inline constexpr NativeText kDecline{u"拒否", u"Decline"};
inline constexpr NativeText kAnswer{u"応答", u"Answer"};
inline constexpr NativeText kUnmute{u"ミュート解除", u"Unmute"};
inline constexpr NativeText kMute{u"ミュート", u"Mute"};
inline constexpr NativeText kEndCall{u"終了", u"End call"};
inline constexpr NativeText kClose{u"×", u"×"};
inline constexpr NativeText kGrabHint{u"つかんでトリガー → トークを開く", u"Grab + trigger → Open conversation"};

}  // namespace native_text

// Every label above, for the font checks.
std::span<const NativeText> NativeSettingsTexts();
