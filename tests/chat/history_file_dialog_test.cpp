// The history file dialog over the scripted stand-in, with the real history
// session and store: which boxes and file requests appear, and what runs.
#include "chat/history_file_dialog.h"

#include "chat/history_session.h"
#include "core/text.h"
#include "history_store_fixture.h"
#include "scripted_dialogs.h"

namespace {

constexpr platform::WindowHandle kOwner = 7;
const std::u16string kExportExplanation =
    u"履歴を、別の端末に取り込めるファイルに書き出します。このファイルのメッセージ本文は暗号化されません。"
    u"安全な場所を選び、移動後は不要なコピーを削除してください。";
const std::u16string kImportExplanation =
    u"同じQuorixアカウントの履歴ファイルを選んでください。既存の履歴に結合し、重複は追加しません。"
    u"ファイルはこのPCで暗号化して保存します。";
const std::u16string kFailure = u"履歴ファイルを処理できませんでした。アカウント、ファイルと保存先を確認してください。";

class HistoryFileDialogTest : public history_test::HistoryStoreTest {
 protected:
  void SetUp() override {
    HistoryStoreTest::SetUp();
    static uint64_t revision = 5000;
    revision_ = ++revision;
    ASSERT_TRUE(HistorySession::Open("u1", revision_, nullptr, {}));
  }
  void TearDown() override {
    HistorySession::Reset(++revision_);
    HistoryStoreTest::TearDown();
  }
  std::u16string Path(const std::string& name) const { return Utf8ToWide((local_app_data() / name).string()); }

  uint64_t revision_ = 0;
};

TEST_F(HistoryFileDialogTest, BoxesRequestsAndOutcomes) {
  const std::string foreign =
      R"({"format":"QuorixHistory","version":1,"user_id":"u2","origin":"https://api.quorix.example"})" "\n";
  quorix_test::WriteFile(local_app_data() / "foreign", foreign);
  quorix_test::WriteFile(local_app_data() / "taken", "old");
  struct Case {
    const char* name;
    bool import;
    std::deque<int> answers;
    std::deque<std::u16string> files;
    std::deque<bool> overwrite;
    bool reset_while_open;
    bool result;
    size_t requests;
    std::u16string result_box;  // empty: none
  } cases[] = {
      {"explanation cancelled", false, {2}, {}, {}, false, false, 0, u""},
      {"file dialog cancelled", true, {1}, {}, {}, false, false, 1, u""},
      {"missing file refused", true, {1}, {Path("none")}, {}, false, false, 1, u""},
      {"overwrite declined", false, {1}, {Path("taken")}, {false}, false, false, 1, u""},
      {"session reset while open", false, {1}, {Path("x")}, {}, true, false, 1, kFailure},
      {"export", false, {1}, {Path("taken")}, {true}, false, true, 1, u"履歴を書き出しました。"},
      {"import", true, {1}, {Path("taken")}, {}, false, true, 1, u"履歴を取り込みました。"},
      {"foreign file", true, {1}, {Path("foreign")}, {}, false, false, 1, kFailure},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quorix_test::ScriptedDialogs dialogs;
    dialogs.box_answers = c.answers;
    dialogs.file_answers = c.files;
    dialogs.overwrite_answers = c.overwrite;
    if (c.reset_while_open) dialogs.while_open = [this] { HistorySession::Reset(++revision_); };
    const uint64_t changes = HistorySession::ChangeCounter();
    EXPECT_EQ(ShowHistoryFileDialog(kOwner, c.import), c.result);
    ASSERT_GE(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, c.import ? kImportExplanation : kExportExplanation);
    EXPECT_EQ(std::make_tuple(dialogs.boxes[0].owner, dialogs.boxes[0].caption, dialogs.boxes[0].flags),
              std::make_tuple(kOwner, std::u16string(u"Quorix 履歴ファイル"), 0x41u));
    ASSERT_EQ(dialogs.boxes.size(), c.result_box.empty() ? 1u : 2u);
    if (!c.result_box.empty()) {
      EXPECT_EQ(std::make_tuple(dialogs.boxes[1].text, dialogs.boxes[1].caption, dialogs.boxes[1].flags),
                std::make_tuple(c.result_box, std::u16string(u"Quorix"), c.result ? 0x40u : 0x10u));
    }
    ASSERT_EQ(dialogs.requests.size(), c.requests);
    if (c.requests != 0) {
      const platform::FileDialogRequest& r = dialogs.requests[0];
      EXPECT_EQ(std::make_tuple(r.save, r.owner, r.initial_name, r.default_extension, r.flags, r.buffer_units),
                std::make_tuple(!c.import, kOwner, std::u16string(u"Quorix-history.quorix-history"),
                                std::u16string(u"quorix-history"), c.import ? 0x81808u : 0x8080Au, 32768u));
      EXPECT_EQ(r.filters, (std::vector<std::pair<std::u16string, std::u16string>>{
                               {u"Quorix history (*.quorix-history)", u"*.quorix-history"}, {u"All files", u"*.*"}}));
    }
    EXPECT_EQ(HistorySession::ChangeCounter() - changes,
              (c.import && c.result ? 1u : 0u) + (c.reset_while_open ? 1u : 0u));
    if (c.reset_while_open) {
      ASSERT_TRUE(HistorySession::Open("u1", ++revision_, nullptr, {}));
    }
  }
  EXPECT_FALSE(std::filesystem::exists(local_app_data() / "x"));
  EXPECT_EQ(quorix_test::ReadFile(local_app_data() / "taken").substr(0, 33), R"({"format":"QuorixHistory","versio)");

  HistorySession::Reset(++revision_);
  quorix_test::ScriptedDialogs signed_out;
  EXPECT_FALSE(ShowHistoryFileDialog(kOwner, true));
  EXPECT_TRUE(signed_out.boxes.empty());
}

}  // namespace
