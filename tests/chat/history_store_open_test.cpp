#include <filesystem>
#include <fstream>

#include "history_store_fixture.h"
#include "platform/test_hooks.h"

namespace {

using history_test::DbPath;
using history_test::HistoryStoreTest;
using history_test::kOrigin;
using history_test::OpenStore;
using history_test::RawDb;
using history_test::Root;
using quorix_history::Store;
using quorix_history::StoreTestAccess;

using HistoryOpen = HistoryStoreTest;

TEST_F(HistoryOpen, PseudonymLayoutAndReopen) {
  auto store = OpenStore("u1");
  EXPECT_EQ("942de759f1fe7d735f3d858e6ebd3c31e44b51692d6c75e861b9e941c8a1ccdc", store->Pseudonym("account"));
  EXPECT_EQ(local_app_data() / "QuorixPhone" / "history" / "v1", Root());
  std::filesystem::path db = DbPath(*store);
  EXPECT_EQ(local_app_data() / "QuorixPhone" / "history" / "v1" /
                "942de759f1fe7d735f3d858e6ebd3c31e44b51692d6c75e861b9e941c8a1ccdc" / "history.db",
            db);
  EXPECT_EQ("", store->last_error());
  for (auto dir : {local_app_data() / "QuorixPhone", Root().parent_path(), Root(), db.parent_path()}) {
    EXPECT_EQ(0700u, quorix_test::FileMode(dir)) << dir;
  }
  EXPECT_EQ(0600u, quorix_test::FileMode(db));
  {
    RawDb raw(db);
    EXPECT_EQ(std::vector<std::string>{"wal|"}, raw.Rows("PRAGMA journal_mode"));
    EXPECT_EQ(std::vector<std::string>{"1|"}, raw.Rows("PRAGMA user_version"));
  }
  ASSERT_TRUE(store->ReplaceFriends({{"f", "F"}}));  // writes through the WAL
  EXPECT_EQ(0600u, quorix_test::FileMode(db.string() + "-wal"));
  EXPECT_EQ(0600u, quorix_test::FileMode(db.string() + "-shm"));

  // Reopened, the rows and the identity stay.
  std::vector<std::string> before = RawDb(db).AllTables();
  store.reset();
  store = OpenStore("u1");
  {
    RawDb raw(db);
    EXPECT_EQ(before, raw.AllTables());
    EXPECT_EQ(1u, raw.Rows("SELECT value FROM metadata WHERE key='identity'").size());
  }
  std::vector<ChatFriend> friends;
  ASSERT_TRUE(store->ReadFriends(&friends));
  ASSERT_EQ(1u, friends.size());
  EXPECT_EQ("F", friends[0].display_name);
  // A second Open on an open store is refused and leaves it working.
  EXPECT_FALSE(store->Open(Root(), kOrigin, "u1"));
  EXPECT_EQ("identity_invalid", store->last_error());
  EXPECT_TRUE(store->ReadFriends(&friends));

  // Other users and origins get folders of their own.
  auto other = OpenStore("u2");
  auto third = OpenStore("u1", Root(), "https://other.example");
  EXPECT_NE(store->Pseudonym("account"), other->Pseudonym("account"));
  EXPECT_NE(store->Pseudonym("account"), third->Pseudonym("account"));
  EXPECT_NE(other->Pseudonym("account"), third->Pseudonym("account"));
  EXPECT_NE(store->Pseudonym("peer"), other->Pseudonym("peer"));
  EXPECT_EQ(64u, store->Pseudonym("peer").size());
}

TEST_F(HistoryOpen, ForeignDatabasesAreRefusedUntouched) {
  std::filesystem::path source;
  {
    auto store = OpenStore("u1");
    ASSERT_TRUE(store->ReplaceFriends({{"f1", "One"}}));
    std::vector<std::string> ids;
    ASSERT_TRUE(store->StoreInboxBatch("s", "1", {history_test::Msg("m1", "f1", "u1", "hi", 5)}, "ack", &ids, nullptr));
    source = DbPath(*store);
  }
  // The file copied into another account's folder.
  std::filesystem::path target;
  {
    Store probe;
    ASSERT_TRUE(probe.Open(Root(), kOrigin, "u2"));
    target = DbPath(probe);
  }
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(target.string() + suffix);
  std::filesystem::copy_file(source, target);
  if (std::filesystem::exists(source.string() + "-wal")) {
    std::filesystem::copy_file(source.string() + "-wal", target.string() + "-wal");
  }
  std::vector<std::string> before;
  {
    RawDb raw(target);
    before = raw.AllTables();
  }
  Store copied;
  EXPECT_FALSE(copied.Open(Root(), kOrigin, "u2"));
  EXPECT_EQ("identity_mismatch", copied.last_error());
  {
    RawDb raw(target);
    EXPECT_EQ(before, raw.AllTables());
  }
  std::vector<quorix_history::ConversationRow> rows;
  EXPECT_FALSE(copied.ListConversations(&rows));
  EXPECT_EQ("not_open", copied.last_error());

  // The same account under another user's key.
  std::optional<quorix_test::TempDir> other_key(std::in_place);
  std::optional<quorix_test::ScopedKeyFolder> other_user_key(std::in_place, other_key->path());
  std::vector<std::string> own_before;
  {
    RawDb raw(source);
    own_before = raw.AllTables();
  }
  Store other_user;
  EXPECT_FALSE(other_user.Open(Root(), kOrigin, "u1"));
  EXPECT_EQ("identity_mismatch", other_user.last_error());
  {
    RawDb raw(source);
    EXPECT_EQ(own_before, raw.AllTables());
  }

  // Without its identity row the copy is adopted, but nothing in it opens.
  other_user_key.reset();
  {
    RawDb raw(target);
    ASSERT_TRUE(raw.Exec("DELETE FROM metadata WHERE key='identity'"));
  }
  Store adopted;
  ASSERT_TRUE(adopted.Open(Root(), kOrigin, "u2")) << adopted.last_error();
  EXPECT_FALSE(adopted.ListConversations(&rows));
  EXPECT_EQ("decrypt_failed", adopted.last_error());
  std::vector<ChatFriend> friends;
  EXPECT_FALSE(adopted.ReadFriends(&friends));
}

TEST_F(HistoryOpen, InvalidInputCreatesNothing) {
  struct Case {
    const char* name;
    std::filesystem::path root;
    std::string origin;
    std::string user;
  } cases[] = {
      {"user id of 257 bytes", Root(), kOrigin, std::string(257, 'u')},
      {"empty user id", Root(), kOrigin, ""},
      {"empty origin", Root(), "", "u1"},
      {"empty root", "", kOrigin, "u1"},
  };
  for (const Case& c : cases) {
    Store store;
    EXPECT_FALSE(store.Open(c.root, c.origin, c.user)) << c.name;
    EXPECT_EQ("identity_invalid", store.last_error()) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(local_app_data() / "QuorixPhone"));
  Store longest;
  EXPECT_TRUE(longest.Open(Root(), kOrigin, std::string(256, 'u')));

  quorix_history::test_hooks::SetSha256Failure(true);
  Store no_hash;
  EXPECT_FALSE(no_hash.Open(local_app_data() / "other", kOrigin, "u1"));
  EXPECT_EQ("pseudonym_failed", no_hash.last_error());
  EXPECT_FALSE(std::filesystem::exists(local_app_data() / "other"));
}

TEST_F(HistoryOpen, RootLocationFailures) {
  quorix_test::WriteFile(local_app_data() / "plain", "x");
  Store store;
  EXPECT_FALSE(store.Open(local_app_data() / "plain" / "root", kOrigin, "u1"));
  EXPECT_EQ("path_failed", store.last_error());

  ASSERT_TRUE(platform::env::Set("LOCALAPPDATA", ""));
  EXPECT_TRUE(Root().empty());
  ASSERT_TRUE(platform::env::Unset("LOCALAPPDATA"));
  EXPECT_TRUE(Root().empty());
  ASSERT_TRUE(platform::env::Set("LOCALAPPDATA", "/x/\xff"));  // not text
  EXPECT_TRUE(Root().empty());
  Store unrooted;
  EXPECT_FALSE(unrooted.Open(Root(), kOrigin, "u1"));
  EXPECT_EQ("identity_invalid", unrooted.last_error());
}

using HistoryProtect = HistoryStoreTest;

TEST_F(HistoryProtect, BlobsOpenOnlyForTheSameAccountAndKey) {
  auto store = OpenStore("u1");
  std::vector<uint8_t> blob;
  ASSERT_TRUE(StoreTestAccess::Protect(*store, "secret text", &blob));
  std::vector<uint8_t> again;
  ASSERT_TRUE(StoreTestAccess::Protect(*store, "secret text", &again));
  EXPECT_NE(blob, again);  // fresh each time
  std::string plain;
  ASSERT_TRUE(StoreTestAccess::Unprotect(*store, blob.data(), static_cast<int>(blob.size()), &plain));
  EXPECT_EQ("secret text", plain);

  auto expect_refused = [&](Store& s, const std::vector<uint8_t>& b, const char* code) {
    std::string out = "untouched";
    EXPECT_FALSE(StoreTestAccess::Unprotect(s, b.data(), static_cast<int>(b.size()), &out));
    EXPECT_EQ(code, s.last_error());
    EXPECT_EQ("untouched", out);
  };
  auto other_user = OpenStore("u2");
  expect_refused(*other_user, blob, "decrypt_failed");
  auto other_origin = OpenStore("u1", Root(), "https://other.example");
  expect_refused(*other_origin, blob, "decrypt_failed");
  for (size_t i = 0; i < blob.size(); i += 7) {
    std::vector<uint8_t> flipped = blob;
    flipped[i] ^= 0x01;
    expect_refused(*store, flipped, "decrypt_failed");
  }
  expect_refused(*store, std::vector<uint8_t>(), "cipher_invalid");
  expect_refused(*store, std::vector<uint8_t>(1048577, 1), "cipher_invalid");
  std::string out = "untouched";
  EXPECT_FALSE(StoreTestAccess::Unprotect(*store, nullptr, 5, &out));
  EXPECT_EQ("cipher_invalid", store->last_error());

  {
    quorix_test::TempDir other_key;
    quorix_test::ScopedKeyFolder other_user_key(other_key.path());
    expect_refused(*store, blob, "decrypt_failed");
  }

  // A blob that could never be read back is not made.
  std::vector<uint8_t> kept = {1, 2, 3};
  EXPECT_FALSE(StoreTestAccess::Protect(*store, std::string(1048576, 'x'), &kept));
  EXPECT_EQ("encrypt_failed", store->last_error());
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), kept);
  std::vector<uint8_t> big;
  ASSERT_TRUE(StoreTestAccess::Protect(*store, std::string(1048576 - 100, 'x'), &big));
  EXPECT_TRUE(StoreTestAccess::Unprotect(*store, big.data(), static_cast<int>(big.size()), &plain));
}

}  // namespace
