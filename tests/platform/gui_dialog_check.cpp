// The real GTK save chooser under the test display, driven from GTK's own
// loop: filters, initial name, the added extension, the overwrite question
// and cancelling.
#include <gtk/gtk.h>
#include <stdlib.h>
#include <gtest/gtest.h>

#include <set>

#include "platform/file_dialog.h"
#include "platform/gui.h"
#include "platform/text_encoding.h"
#include "test_util.h"

namespace {

// Answers the modal dialogs as they come up: the chooser first (its name
// typed into `folder`), then any question with OK.
struct Driver {
  std::string folder;
  std::string name;
  bool accept = true;
  std::vector<std::string> filter_names;
  std::string selected_filter;
  std::string initial_name;
  int questions = 0;
  std::set<GtkWidget*> seen;

  static gboolean Tick(gpointer data) {
    auto* d = static_cast<Driver*>(data);
    GList* windows = gtk_window_list_toplevels();
    for (GList* it = windows; it != nullptr; it = it->next) {
      GtkWidget* w = GTK_WIDGET(it->data);
      if (!gtk_widget_get_visible(w)) continue;
      if (GTK_IS_FILE_CHOOSER_DIALOG(w)) {
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(w);
        if (d->seen.insert(w).second) {
          GSList* filters = gtk_file_chooser_list_filters(chooser);
          for (GSList* f = filters; f != nullptr; f = f->next) {
            d->filter_names.push_back(gtk_file_filter_get_name(GTK_FILE_FILTER(f->data)));
          }
          g_slist_free(filters);
          d->selected_filter = gtk_file_filter_get_name(gtk_file_chooser_get_filter(chooser));
          gchar* initial = gtk_file_chooser_get_current_name(chooser);
          d->initial_name = initial != nullptr ? initial : "";
          g_free(initial);
          gtk_file_chooser_set_current_folder(chooser, d->folder.c_str());
          continue;  // the folder settles before the name is typed
        }
        gchar* current = gtk_file_chooser_get_current_folder(chooser);
        const bool there = current != nullptr && d->folder == current;
        g_free(current);
        if (!d->accept) {
          gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_CANCEL);
        } else if (there) {
          gtk_file_chooser_set_current_name(chooser, d->name.c_str());
          gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_ACCEPT);
        }
      } else if (GTK_IS_MESSAGE_DIALOG(w) && d->seen.insert(w).second) {
        ++d->questions;
        gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_OK);
      }
    }
    g_list_free(windows);
    return G_SOURCE_CONTINUE;
  }
};

// GTK reads these from the C environment when it starts: no accessibility
// bridge (its D-Bus connection is never freed) and no settings daemon on the
// test display. Set by the binary itself, so that it runs alike under ctest
// and on its own.
class QuietGtk : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("NO_AT_BRIDGE", "1", 1);
    ::setenv("GSETTINGS_BACKEND", "memory", 1);
  }
};
[[maybe_unused]] ::testing::Environment* const quiet_gtk = ::testing::AddGlobalTestEnvironment(new QuietGtk);

TEST(GuiDialogTest, SaveChooserAddsTheExtensionAsksBeforeReplacingAndCancels) {
  if (!platform::StartGui()) GTEST_SKIP() << "no display";
  quorix_test::TempDir dir;
  quorix_test::WriteFile(dir.path() / "old.quorix-history", "x");
  platform::FileDialogRequest request;
  request.save = true;
  request.filters = {{u"Quorix history (*.quorix-history)", u"*.quorix-history"}, {u"All files", u"*.*"}};
  request.initial_name = u"Quorix-history.quorix-history";
  request.default_extension = u"quorix-history";
  request.flags = platform::kFileDialogOverwritePrompt;
  request.buffer_units = 32768;

  Driver driver;
  driver.folder = dir.path().string();
  driver.name = "old";
  guint source = g_timeout_add(50, Driver::Tick, &driver);
  const std::optional<std::u16string> chosen = platform::GuiFileDialog(request);
  g_source_remove(source);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(platform::Utf16ToUtf8Lenient(*chosen), (dir.path() / "old.quorix-history").string());
  EXPECT_EQ(driver.filter_names, (std::vector<std::string>{"Quorix history (*.quorix-history)", "All files"}));
  EXPECT_EQ(driver.selected_filter, "Quorix history (*.quorix-history)");
  EXPECT_EQ(driver.initial_name, "Quorix-history.quorix-history");
  EXPECT_EQ(driver.questions, 1);

  Driver cancel;
  cancel.folder = dir.path().string();
  cancel.accept = false;
  source = g_timeout_add(50, Driver::Tick, &cancel);
  EXPECT_FALSE(platform::GuiFileDialog(request).has_value());
  g_source_remove(source);
  EXPECT_EQ(quorix_test::ReadFile(dir.path() / "old.quorix-history"), "x");
}

}  // namespace
