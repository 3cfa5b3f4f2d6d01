#include "chat/history_file_dialog.h"

#include <filesystem>
#include <string>

#include "chat/history_session.h"
#include "core/text.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"

namespace {

constexpr char16_t kImportExplanation[] =
    u"同じQuorixアカウントの履歴ファイルを選んでください。既存の履歴に結合し、重複は追加しません。"
    u"ファイルはこのPCで暗号化して保存します。";
constexpr char16_t kExportExplanation[] =
    u"履歴を、別の端末に取り込めるファイルに書き出します。このファイルのメッセージ本文は暗号化されません。"
    u"安全な場所を選び、移動後は不要なコピーを削除してください。";
constexpr char16_t kFailure[] = u"履歴ファイルを処理できませんでした。アカウント、ファイルと保存先を確認してください。";
constexpr uint32_t kImportFlags = platform::kFileDialogExplorer | platform::kFileDialogPathMustExist |
                                  platform::kFileDialogNoChangeDir | platform::kFileDialogFileMustExist;
constexpr uint32_t kExportFlags = platform::kFileDialogExplorer | platform::kFileDialogPathMustExist |
                                  platform::kFileDialogNoChangeDir | platform::kFileDialogOverwritePrompt;

}  // namespace

bool ShowHistoryFileDialog(platform::WindowHandle owner, bool import) {
  const HistorySnapshot snapshot = HistorySession::Snapshot();
  if (!snapshot.store) return false;
  if (platform::ShowMessageBox(owner, import ? kImportExplanation : kExportExplanation, u"Quorix 履歴ファイル",
                               platform::kMessageBoxOkCancel | platform::kMessageBoxIconInformation) !=
      platform::kMessageBoxAnswerOk) {
    return false;
  }
  platform::FileDialogRequest request;
  request.save = !import;
  request.owner = owner;
  request.filters = {{u"Quorix history (*.quorix-history)", u"*.quorix-history"}, {u"All files", u"*.*"}};
  request.initial_name = u"Quorix-history.quorix-history";
  request.default_extension = u"quorix-history";
  request.flags = import ? kImportFlags : kExportFlags;
  request.buffer_units = 32768;
  const std::optional<std::u16string> chosen = platform::ShowFileDialog(request);
  if (!chosen) return false;

  bool ok = false;
  if (HistorySession::IsCurrent(snapshot)) {
    // A path that is not valid text fails like any other unusable file.
    const std::string path = WideToUtf8(*chosen);
    if (!path.empty()) {
      ok = import ? snapshot.store->ImportHistory(std::filesystem::path(path))
                  : snapshot.store->ExportHistory(std::filesystem::path(path));
    }
  }
  if (ok && import) HistorySession::NoteChange();
  if (ok) {
    platform::ShowMessageBox(owner, import ? u"履歴を取り込みました。" : u"履歴を書き出しました。", u"Quorix",
                             platform::kMessageBoxIconInformation);
  } else {
    platform::ShowMessageBox(owner, kFailure, u"Quorix", platform::kMessageBoxIconError);
  }
  return ok;
}
