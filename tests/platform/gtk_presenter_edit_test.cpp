// Edit fields and lists of a presented window on a private X server: the
// user's text (inserted through the widgets' own insert path, as typing and
// pasting are) is cut at the record's limit in UTF-16 units and lands in the
// record; the program's text is shown whole; a user's list choice notifies,
// the program's does not; owner-drawn rows are measured and drawn by the
// parent's procedure.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk_presenter.h"
#include "platform/ui_window.h"
#include "private_x_server.h"

namespace {

namespace ui = platform::ui;

intptr_t PlainProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return ui::DefWindowProc(window, message, wparam, lparam);
}

// The entries and text views under `widget`, depth first.
void CollectEdits(GtkWidget* widget, std::vector<GtkWidget*>* out) {
  if (GTK_IS_ENTRY(widget) || GTK_IS_TEXT_VIEW(widget)) out->push_back(widget);
  if (!GTK_IS_CONTAINER(widget)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* child = children; child != nullptr; child = child->next) CollectEdits(GTK_WIDGET(child->data), out);
  g_list_free(children);
}

std::string Shown(GtkWidget* widget) {
  if (GTK_IS_ENTRY(widget)) return gtk_entry_get_text(GTK_ENTRY(widget));
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget));
  GtkTextIter start, stop;
  gtk_text_buffer_get_bounds(buffer, &start, &stop);
  gchar* text = gtk_text_buffer_get_text(buffer, &start, &stop, FALSE);
  std::string out = text;
  g_free(text);
  return out;
}

void UserInsert(GtkWidget* widget, const std::string& text) {
  if (GTK_IS_ENTRY(widget)) {
    gint position = -1;
    gtk_editable_set_position(GTK_EDITABLE(widget), -1);
    position = gtk_editable_get_position(GTK_EDITABLE(widget));
    gtk_editable_insert_text(GTK_EDITABLE(widget), text.c_str(), static_cast<gint>(text.size()), &position);
    return;
  }
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget));
  gtk_text_buffer_insert_at_cursor(buffer, text.c_str(), static_cast<gint>(text.size()));
}

// A 400 × 300 captioned top-level record of a class with `procedure`.
platform::WindowHandle CreateTop(const std::u16string& class_name, ui::WindowProc procedure) {
  (void)ui::RegisterWindowClass({class_name, procedure});
  ui::WindowSpec spec;
  spec.class_name = class_name;
  spec.style = ui::kWsOverlapped | ui::kWsCaption;
  spec.width = 400;
  spec.height = 300;
  return ui::CreateWindowRecord(spec);
}

// (message, wparam) of the list owner's commands and drawn rows.
std::vector<std::pair<uint32_t, uintptr_t>> g_seen;

intptr_t ListOwnerProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case ui::kWmMeasureItem:
      *reinterpret_cast<uint32_t*>(lparam) = 28;
      return 1;
    case ui::kWmDrawItem: {
      const auto* item = reinterpret_cast<const ui::DrawItem*>(lparam);
      g_seen.emplace_back(message, static_cast<uintptr_t>(item->rect.bottom - item->rect.top));
      return 1;
    }
    case ui::kWmCommand:
      g_seen.emplace_back(message, wparam);
      return 0;
    default:
      return ui::DefWindowProc(window, message, wparam, lparam);
  }
}

bool Seen(uint32_t message, uintptr_t wparam) {
  for (const auto& seen : g_seen) {
    if (seen == std::make_pair(message, wparam)) return true;
  }
  return false;
}

// Runs GTK's loop until `done`; the bound only stops a broken run.
template <typename Done>
bool IterateUntil(Done done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done() && std::chrono::steady_clock::now() < limit) g_main_context_iteration(nullptr, FALSE);
  return done();
}

TEST(GtkPresenterList, UserChoicesNotifyAndProgramChangesDoNot) {
  quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
  if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
  ASSERT_TRUE(platform::StartWindowPresenter());
  g_seen.clear();
  const platform::WindowHandle top = CreateTop(u"PresenterListTest", &ListOwnerProc);
  ui::WindowSpec list;
  list.class_name = u"COMBOBOX";
  list.style = ui::kWsChild | ui::kWsVisible | ui::kCbsDropDownList | ui::kCbsOwnerDrawFixed | ui::kCbsHasStrings;
  list.parent = top;
  list.id = 112;
  list.width = 220;
  list.height = 160;
  const platform::WindowHandle combo_record = ui::CreateWindowRecord(list);
  ui::ShowWindow(top, true);
  GtkComboBox* combo = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* window = toplevels; window != nullptr && combo == nullptr; window = window->next) {
    std::vector<GtkWidget*> found;
    GtkWidget* fixed = gtk_bin_get_child(GTK_BIN(window->data));
    if (fixed == nullptr || !GTK_IS_CONTAINER(fixed)) continue;
    GList* children = gtk_container_get_children(GTK_CONTAINER(fixed));
    for (GList* child = children; child != nullptr; child = child->next) {
      if (GTK_IS_COMBO_BOX(child->data)) combo = GTK_COMBO_BOX(child->data);
    }
    g_list_free(children);
  }
  g_list_free(toplevels);
  ASSERT_NE(combo, nullptr);

  for (const std::u16string row : {u"bob", u"carol", u"dave"}) {
    ui::SendMessage(combo_record, ui::kCbAddString, 0, reinterpret_cast<intptr_t>(&row));
  }
  ui::SendMessage(combo_record, ui::kCbSetCurSel, 0, 0);
  EXPECT_EQ(gtk_combo_box_get_active(combo), 0);
  // The closed field's row is measured and drawn by the owner, 28 pixels high.
  ASSERT_TRUE(IterateUntil([] { return Seen(ui::kWmDrawItem, 28); }));
  EXPECT_FALSE(Seen(ui::kWmCommand, 112 | (ui::kCbnSelChange << 16)));  // the program's change

  gtk_combo_box_set_active(combo, 2);  // the user's pick
  EXPECT_TRUE(Seen(ui::kWmCommand, 112 | (ui::kCbnSelChange << 16)));
  EXPECT_EQ(ui::SendMessage(combo_record, ui::kCbGetCurSel, 0, 0), 2);
  gtk_combo_box_popup(combo);
  EXPECT_TRUE(IterateUntil([] { return Seen(ui::kWmCommand, 112 | (ui::kCbnDropDown << 16)); }));
  gtk_combo_box_popdown(combo);
  EXPECT_TRUE(IterateUntil([] { return Seen(ui::kWmCommand, 112 | (ui::kCbnCloseUp << 16)); }));
  ui::DestroyWindow(top);
}

TEST(GtkPresenterEdit, UserTextIsCutAtTheLimitAndProgramTextIsShownWhole) {
  quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
  if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
  ASSERT_TRUE(platform::StartWindowPresenter());
  const platform::WindowHandle top = CreateTop(u"PresenterEditTest", &PlainProc);
  ASSERT_NE(top, platform::kNoWindow);
  struct Child { uint32_t style, limit; } children[] = {
      {ui::kEsAutoHScroll, 4},
      {ui::kEsAutoHScroll | ui::kEsPassword, 256},
      {ui::kEsMultiline | ui::kWsVScroll, 5},
  };
  std::vector<platform::WindowHandle> records;
  for (const Child& child : children) {
    ui::WindowSpec edit;
    edit.class_name = u"EDIT";
    edit.style = ui::kWsChild | ui::kWsVisible | child.style;
    edit.parent = top;
    edit.y = static_cast<int32_t>(records.size()) * 60;
    edit.width = 300;
    edit.height = 50;
    records.push_back(ui::CreateWindowRecord(edit));
    ui::SendMessage(records.back(), ui::kEmLimitText, child.limit, 0);
  }
  ui::ShowWindow(top, true);
  std::vector<GtkWidget*> edits;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* window = toplevels; window != nullptr; window = window->next) {
    CollectEdits(GTK_WIDGET(window->data), &edits);
  }
  g_list_free(toplevels);
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(edits[1])));
  EXPECT_EQ(gtk_entry_get_invisible_char(GTK_ENTRY(edits[1])), 0x25CFu);

  struct Case { const char* name; size_t edit; std::u16string program; std::string typed, shown; std::u16string record; };
  const std::string long_password(300, 'p');
  const Case cases[] = {
      {"typing stops at the limit", 0, u"", "abcdef", "abcd", u"abcd"},
      {"a pair is not split at the limit", 0, u"ab", "c\U0001F600", "abc", u"abc"},
      {"the program's text is not cut", 0, u"program text", "", "program text", u"program text"},
      {"the password stops at 256 units", 1, u"", long_password, std::string(256, 'p'), std::u16string(256, u'p')},
      {"line breaks count and come back as CR LF", 2, u"", "a\nb\U0001F600cd", "a\nb\U0001F600", u"a\r\nb\U0001F600"},
      {"the program's CR LF shows as one break", 2, u"x\r\ny", "", "x\ny", u"x\r\ny"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui::SetWindowText(records[c.edit], c.program);
    if (!c.typed.empty()) UserInsert(edits[c.edit], c.typed);
    EXPECT_EQ(Shown(edits[c.edit]), c.shown);
    EXPECT_EQ(ui::GetWindowText(records[c.edit]), c.record);
  }
  ui::DestroyWindow(top);
}

}  // namespace
