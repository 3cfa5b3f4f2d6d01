#pragma once
// The labels of the sign-in, home, list and conversation screens: each a
// Japanese and an English form.
#include <span>
#include <string_view>

struct NativeText {
  std::u16string_view ja;
  std::u16string_view en;
};

namespace native_text {

inline constexpr NativeText kTabHome{u"Home", u"Home"};
inline constexpr NativeText kTabTalks{u"トーク", u"Talks"};
inline constexpr NativeText kTabFriends{u"フレンド", u"Friends"};
inline constexpr NativeText kTabSettings{u"設定", u"Settings"};
inline constexpr NativeText kBackToLogin{u"‹  ログインに戻る", u"‹  Back to login"};

inline constexpr NativeText kAppName{u"QuorixPhone", u"QuorixPhone"};
inline constexpr NativeText kOtherLanguage{u"English", u"日本語"};
inline constexpr NativeText kSettings{u"設定", u"Settings"};
inline constexpr NativeText kHeadline1{u"会いたい声に、", u"Your people."};
inline constexpr NativeText kHeadline2{u"つながろう。", u"A little closer."};
inline constexpr NativeText kTagline1{u"いつものフレンドと、いつもの場所へ。", u"A familiar voice. Your shared space."};
inline constexpr NativeText kTagline2{u"あなたのQuorixアカウントで始めましょう。", u"Start with your Quorix account."};
inline constexpr NativeText kUserId{u"ユーザーID", u"User ID"};
inline constexpr NativeText kPassword{u"パスワード", u"Password"};
inline constexpr NativeText kConnecting{u"接続しています…", u"Connecting…"};
inline constexpr NativeText kLogIn{u"ログイン  →", u"Log in  →"};
inline constexpr NativeText kSignInError{u"ID・パスワードと通信状態を確認してください。",
                                         u"Check your ID, password and connection."};
inline constexpr NativeText kAccountHint{u"パスワードの再設定・新規アカウント作成は",
                                         u"Reset your password or create an account at"};

inline constexpr NativeText kWelcome{u"おかえりなさい。", u"Welcome back."};
inline constexpr NativeText kCallsReady{u"通話の準備ができています", u"Ready to connect"};
inline constexpr NativeText kCallsConnecting{u"通話へ接続しています…", u"Connecting calls…"};
inline constexpr NativeText kCallsCheck{u"通話の接続を確認してください", u"Check the call connection"};
inline constexpr NativeText kHeroKicker{u"YOUR PEOPLE, YOUR SPACE", u"YOUR PEOPLE, YOUR SPACE"};
inline constexpr NativeText kHero1{u"いつもの声を、", u"Your familiar voices,"};
inline constexpr NativeText kHero2{u"すぐそばに。", u"always close."};
inline constexpr NativeText kHero3{u"Quorixで、つながろう。", u"Connect through Quorix."};
inline constexpr NativeText kTileQuorix{u"Quorix", u"Quorix"};
inline constexpr NativeText kTileQuorixSub{u"会話を続ける", u"Keep talking"};
inline constexpr NativeText kTileFriendsSub{u"つながりを管理", u"Your people"};
inline constexpr NativeText kRecent{u"最近のトーク", u"Recent conversations"};
inline constexpr NativeText kSeeAll{u"すべて見る", u"See all"};
inline constexpr NativeText kRecentEmpty{u"フレンドとの会話がここに表示されます。", u"Your conversations will appear here."};

inline constexpr NativeText kTalksKicker{u"いつもの会話を、ここから。", u"Pick up the conversation."};
inline constexpr NativeText kFriendsKicker{u"つながりを、ひとつずつ。", u"Your people, one by one."};
inline constexpr NativeText kRefresh{u"更新", u"Refresh"};
inline constexpr NativeText kAddFriend{u"＋ 申請", u"＋ Add"};
inline constexpr NativeText kManageRequests{u"申請を管理", u"Manage requests"};
inline constexpr NativeText kLoading{u"読み込んでいます…", u"Loading…"};
inline constexpr NativeText kListUnavailable{u"接続を確認し、更新してください。", u"Check the connection, then refresh."};
inline constexpr NativeText kFriendsEmpty{u"フレンドを追加して、会話を始めましょう。",
                                          u"Add a friend to start a conversation."};
inline constexpr NativeText kTalksEmpty{u"フレンドからトークを始めましょう。", u"Start a conversation from Friends."};
inline constexpr NativeText kOnline{u"オンライン", u"Online"};
inline constexpr NativeText kOffline{u"オフライン", u"Offline"};
inline constexpr NativeText kCheckingStatus{u"状態を確認中", u"Checking status"};
inline constexpr NativeText kMore{u"⋯", u"⋯"};
inline constexpr NativeText kPreviousPage{u"‹", u"‹"};
inline constexpr NativeText kNextPage{u"›", u"›"};

inline constexpr NativeText kCall{u"通話", u"Call"};
inline constexpr NativeText kNoCalls{u"発信不可", u"No calls"};
inline constexpr NativeText kCallReadySubtitle{u"いつもの会話を楽しもう。", u"Make yourself at home."};
inline constexpr NativeText kFreePlanSubtitle{u"無料プラン：メッセージと着信応答が可能です。",
                                              u"Free plan: messages and incoming calls."};
inline constexpr NativeText kHistoryFailed{u"履歴を取得できませんでした。", u"Could not load history."};
inline constexpr NativeText kOlder{u"古い", u"Older"};
inline constexpr NativeText kNewer{u"新しい", u"Newer"};
inline constexpr NativeText kWriteMessage{u"メッセージを入力", u"Write a message"};
inline constexpr NativeText kSend{u"送信", u"Send"};
inline constexpr NativeText kSending{u"送信中", u"Sending"};
inline constexpr NativeText kCheckResult{u"結果を確認してから、再操作してください。", u"Check the result before trying again."};
inline constexpr NativeText kDeliveryExpired{u"配信期限切れ", u"Delivery expired"};

}  // namespace native_text

// Every label above, for the font checks.
std::span<const NativeText> NativeScreenTexts();
