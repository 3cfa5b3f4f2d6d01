// The avatar cache against the loopback service in production mode: the
// version query, the downloads, their pacing and limits, and the decoder.
#include "chat/avatar_cache.h"

#include <gtest/gtest.h>

#include <thread>

#include "chat/avatar_test_hooks.h"
#include "chat/session_file.h"
#include "core/environment.h"
#include "core/json.h"
#include "core/text.h"
#include "platform/clock.h"
#include "png_files.h"
#include "service_admission.h"
#include "test_util.h"

namespace {

using quorix_avatar::Image;
using ImagePtr = std::shared_ptr<const Image>;

const std::string kV1(64, 'a'), kV2(64, 'b');

std::string Pattern() {
  return quorix_test::EncodeRgbaPng(128, 128, [](uint32_t x, uint32_t y) { return x << 24 | y << 16 | (x ^ y) << 8 | (255 - x); });
}

TEST(AvatarDecodeTest, PixelsComeOutExactlyAndEveryMalformedFileIsRefused) {
  const std::string png = Pattern();
  const ImagePtr image = quorix_avatar::DecodeAvatarPng(png, kV1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->version, kV1);
  for (uint32_t i = 0; i < 128 * 128; ++i) {
    const uint8_t x = i % 128, y = static_cast<uint8_t>(i / 128);
    ASSERT_EQ(std::vector<uint8_t>(image->pixels.begin() + i * 4, image->pixels.begin() + i * 4 + 4),
              (std::vector<uint8_t>{x, y, static_cast<uint8_t>(x ^ y), static_cast<uint8_t>(255 - x)}));
  }
  // Damaged chunks and cut files are the codec's own test (PngCodecTest).
  std::string bad_signature = png;
  bad_signature[1] = 'Q';
  struct Case {
    const char* what;
    std::string bytes, version;
    bool decodes;
  } cases[] = {
      {"65,536 bytes", quorix_test::PaddedTo(png, 65536), kV1, true},
      {"one frame announced", quorix_test::WithFrameCount(png, 1), kV1, true},
      {"65,537 bytes", quorix_test::PaddedTo(png, 65537), kV1, false},
      {"56 bytes", png.substr(0, 56), kV1, false},
      {"129 wide", quorix_test::EncodeRgbaPng(129, 128, [](uint32_t, uint32_t) { return 0xFFu; }), kV1, false},
      {"two frames", quorix_test::WithFrameCount(png, 2), kV1, false},
      {"bad signature", bad_signature, kV1, false},
      {"63-byte version", png, kV1.substr(1), false},
      {"upper-case version", png, std::string(64, 'A'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(quorix_avatar::DecodeAvatarPng(c.bytes, c.version) != nullptr, c.decodes);
  }
}

TEST(AvatarVersionsTest, EachAskedIdOnceWithAVersionOrNullWithinTheBound) {
  const std::vector<std::string> ids = {"p1", "p2"};
  const std::string p1 = R"({"user_id":"p1","version":")" + kV1 + R"("})";
  const std::string p2 = R"({"user_id":"p2","version":null})";
  const auto reply = [](const std::string& items) { return R"({"ok":true,"avatars":[)" + items + "]}"; };
  std::string padded = reply(p1 + "," + p2);
  padded.insert(1, 40000 - padded.size(), ' ');
  const struct {
    const char* what;
    std::string body;
    bool read;
  } cases[] = {
      {"both, one without a picture", reply(p1 + "," + p2), true},
      {"40,000 bytes", padded, true},
      {"40,001 bytes", " " + padded, false},
      {"one missing", reply(p1), false},
      {"one twice", reply(p1 + "," + p1), false},
      {"one not asked", reply(p1 + R"(,{"user_id":"p3","version":null})"), false},
      {"a short version", reply(p1 + R"(,{"user_id":"p2","version":"ab"})"), false},
      {"ok false", R"({"ok":false,"avatars":[]})", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::map<std::string, std::string> versions;
    EXPECT_EQ(quorix_avatar::ReadAvatarVersions(c.body, ids, &versions), c.read);
    if (c.read) {
      EXPECT_EQ(versions, (std::map<std::string, std::string>{{"p1", kV1}, {"p2", ""}}));
    }
  }
}

TEST(AvatarDrawTest, PlaceholderBytesAndNearestNeighbourScaling) {
  std::vector<uint8_t> canvas(540 * 4 * 100, 0);
  for (const int32_t d : {3, 129}) quorix_avatar::Draw(canvas, 540, 34, 10, d, nullptr);
  std::vector<uint8_t> ragged(canvas.size() - 4, 0);
  quorix_avatar::Draw(ragged, 540, 34, 10, 52, nullptr);
  EXPECT_EQ(std::count(canvas.begin(), canvas.end(), 0) + std::count(ragged.begin(), ragged.end(), 0),
            std::ssize(canvas) + std::ssize(ragged));
  quorix_avatar::Draw(canvas, 540, 34, 10, 52, nullptr);
  const auto at = [&](size_t x, size_t y) {
    return std::vector<uint8_t>(canvas.begin() + (y * 540 + x) * 4, canvas.begin() + (y * 540 + x) * 4 + 4);
  };
  EXPECT_EQ(at(60, 36), (std::vector<uint8_t>{76, 117, 188, 255}));
  EXPECT_EQ(at(60, 10), (std::vector<uint8_t>{110, 115, 125, 255}));
  EXPECT_EQ(at(34, 10), (std::vector<uint8_t>{0, 0, 0, 0}));
  const ImagePtr image = quorix_avatar::DecodeAvatarPng(Pattern(), kV1);
  std::vector<uint8_t> small(64 * 4 * 64, 0);
  quorix_avatar::Draw(small, 64, 0, 0, 64, image);
  EXPECT_EQ(std::vector<uint8_t>(small.begin() + (32 * 64 + 31) * 4, small.begin() + (32 * 64 + 31) * 4 + 3),
            (std::vector<uint8_t>{62, 64, 62 ^ 64}));
}

// A signed-in "u1" with a saved session, a manual clock and the service in
// production mode. Versions are served from `versions` (empty = null).
class AvatarCacheTest : public ::testing::Test {
 protected:
  AvatarCacheTest()
      : local_(u"LOCALAPPDATA", Utf8ToWide((dir_.path() / "local").string())), production_(service_) {
    avatar_test_hooks::ResetForTest();
    platform::SetClockForTesting(&clock_);
    EXPECT_TRUE(SaveSessionFile({"u1", "tok1"}));
    quorix_avatar::Refresh(1, false, "", {}, "");  // the key of every test's sign-in
    service_.Script("POST", "/profile/v1/avatars", [this](const quorix_test::RecordedRequest& request) {
      JsonValue users;
      EXPECT_TRUE(ParseJson(request.body, users));
      std::string body = R"({"ok":true,"avatars":[)";
      std::lock_guard lock(mutex_);
      for (const JsonValue& user : users.Find("users")->items) {
        const std::string& version = versions_[user.text];
        if (body.back() == '}') body += ',';
        body += R"({"user_id":")" + user.text + R"(","version":)" + (version.empty() ? "null" : '"' + version + '"') + '}';
      }
      quorix_test::ScriptedReply reply = quorix_test::ScriptedReply::Json(200, body + "]}");
      reply.hold_until_released = hold_.load();
      return reply;
    });
  }
  ~AvatarCacheTest() override {
    service_.Release();
    avatar_test_hooks::ResetForTest();
    platform::SetClockForTesting(nullptr);
  }

  void Serve(const std::string& id, const std::string& version, unsigned status = 200, uint64_t advance_ms = 0) {
    {
      std::lock_guard lock(mutex_);
      versions_[id] = version;
    }
    if (!version.empty()) {
      service_.Script("GET", "/profile/v1/avatar/" + id + "/" + version + ".png",
                      [this, status, advance_ms](const quorix_test::RecordedRequest&) {
                        clock_.Advance(advance_ms);
                        quorix_test::ScriptedReply reply;
                        reply.status = status;
                        reply.body = Pattern();
                        return reply;
                      });
    }
  }
  size_t Posts() const { return service_.RequestsTo("/profile/v1/avatars").size(); }
  size_t Gets() const { return service_.Requests().size() - Posts(); }

  // Refreshes until the batch in flight has been collected.
  bool Settle(uint64_t key = 1, bool signed_in = true, const std::string& user = "u1",
              const std::vector<std::string>& friends = {}) {
    bool changed = false;
    EXPECT_TRUE(quorix_test::WaitFor(
        [&] {
          changed |= quorix_avatar::Refresh(key, signed_in, user, friends, "");
          return !avatar_test_hooks::BatchInFlightForTest();
        },
        std::chrono::seconds(60)));
    return changed;
  }

  quorix_test::TempDir dir_;
  ScopedEnvironmentVariable local_;
  quorix_test::LoopbackService service_;
  quorix_test::ScopedProductionService production_;
  platform::ManualClock clock_;
  std::mutex mutex_;
  std::map<std::string, std::string> versions_;
  std::atomic<bool> hold_{false};
};

TEST_F(AvatarCacheTest, BatchListsPeerWantedAndFriendsOnceEachUpToTheLimit) {
  std::vector<std::string> friends;
  for (int i = 0; i < 200; ++i) friends.push_back("f" + std::to_string(i));
  friends.insert(friends.begin(), {"bad id", "w1"});
  quorix_avatar::SetWantedIds({"w1", "w2", "w1", "no/slash"});
  quorix_avatar::Refresh(1, true, "u1", friends, "peer");
  ASSERT_TRUE(quorix_test::WaitFor([&] { return Posts() == 1; }, std::chrono::seconds(30)));
  std::string expected = R"({"users":["peer","w1","w2")";
  for (int i = 0; i < 125; ++i) expected += ",\"f" + std::to_string(i) + '"';
  const quorix_test::RecordedRequest post = service_.RequestsTo("/profile/v1/avatars")[0];
  EXPECT_EQ(post.body, expected + "]}");
  EXPECT_EQ(post.Header("X-NiloPhone-Token"), "tok1");
  EXPECT_TRUE(Settle());
}

TEST_F(AvatarCacheTest, PaceOfBatchesAndTheCallPeerAtOnce) {
  Serve("a", kV1);
  quorix_avatar::Refresh(1, true, "u1", {"a"}, "");
  EXPECT_TRUE(Settle(1, true, "u1", {"a"}));
  ASSERT_NE(quorix_avatar::Find("a"), nullptr);
  clock_.Advance(899999);
  quorix_avatar::Refresh(1, true, "u1", {"a"}, "a");  // requested already: not urgent
  EXPECT_FALSE(avatar_test_hooks::BatchInFlightForTest());
  struct Step {
    const char* what;
    std::function<void()> act;
  } steps[] = {
      {"a new call peer", [] { quorix_avatar::Refresh(1, true, "u1", {"a"}, "b"); }},
      {"wanted ids", [] { quorix_avatar::SetWantedIds({"a"}), quorix_avatar::Refresh(1, true, "u1", {"a"}, ""); }},
      {"15 minutes", [this] { clock_.Advance(900000), quorix_avatar::Refresh(1, true, "u1", {"a"}, ""); }},
  };
  Serve("b", "");
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(steps[i].what);
    steps[i].act();
    EXPECT_TRUE(avatar_test_hooks::BatchInFlightForTest());
    Settle(1, true, "u1", {"a"});
    EXPECT_EQ(Posts(), i + 2);
  }
  EXPECT_EQ(Gets(), 1u);  // the unchanged version is never fetched again
}

TEST_F(AvatarCacheTest, ApplyingKeepsSharesErasesAndLimits) {
  const ImagePtr kept = quorix_avatar::DecodeAvatarPng(Pattern(), kV1);
  std::vector<std::string> friends;
  for (int i = 100; i < 164; ++i) avatar_test_hooks::PutImageForTest("f" + std::to_string(i), kept);
  Serve("f163", kV1);        // unchanged: the same picture, no download
  Serve("f162", "");         // no picture any more
  Serve("f161", kV2, 500);   // a failed download keeps the old picture
  friends = {"f163", "f162", "f161"};
  for (int i = 0; i < 40; ++i) friends.push_back("g" + std::to_string(i)), Serve(friends.back(), kV1);
  const uint64_t generation = quorix_avatar::Generation();
  quorix_avatar::Refresh(1, true, "u1", friends, "");
  EXPECT_TRUE(Settle(1, true, "u1", friends));
  EXPECT_EQ(quorix_avatar::Generation(), generation + 1);
  EXPECT_EQ(Gets(), 32u);  // f161 and g0..g30
  struct Case {
    const char* id;
    bool present;
  } cases[] = {{"f129", false}, {"f130", true}, {"f161", true}, {"f162", false}, {"f163", true},
               {"g30", true},   {"g31", false}};
  for (const Case& c : cases) EXPECT_EQ(quorix_avatar::Find(c.id) != nullptr, c.present) << c.id;
  EXPECT_EQ(quorix_avatar::Find("f163"), kept);
  EXPECT_EQ(quorix_avatar::Find("f130"), kept);
}

TEST_F(AvatarCacheTest, DownloadsStopOnceTwentySecondsPassed) {
  Serve("a", kV1, 200, 20000);
  Serve("b", kV1, 200, 1);
  Serve("c", kV1);
  quorix_avatar::Refresh(1, true, "u1", {"a", "b", "c"}, "");
  Settle(1, true, "u1", {"a", "b", "c"});
  EXPECT_EQ(Gets(), 2u);
  EXPECT_NE(quorix_avatar::Find("b"), nullptr);
  EXPECT_EQ(quorix_avatar::Find("c"), nullptr);
}

TEST_F(AvatarCacheTest, RefusedVersionRepliesEmptyTheCacheWithoutDownloads) {
  avatar_test_hooks::PutImageForTest("a", quorix_avatar::DecodeAvatarPng(Pattern(), kV1));
  const std::string v = R"("version":")" + kV1 + '"';
  const char* bodies[] = {
      R"({"ok":true,"avatars":[]})",
      R"({"ok":false,"avatars":[{"user_id":"a",)",
      R"({"ok":true,"avatars":[{"user_id":"z",)",
      R"({"ok":true,"avatars":[{"user_id":7,)",
  };
  struct Case {
    std::string body;
    unsigned status;
  } cases[] = {
      {bodies[0], 200},
      {std::string(bodies[1]) + v + "}]}", 200},
      {std::string(bodies[2]) + v + "}]}", 200},
      {std::string(bodies[3]) + v + "}]}", 200},
      {R"({"ok":true,"avatars":[{"user_id":"a","version":")" + kV1.substr(1) + "\"}]}", 200},
      {R"({"ok":true,"avatars":[{"user_id":"a"}]})", 200},
      {R"({"ok":true,"avatars":[{"user_id":"a",)" + v + "}]}", 500},
      {R"({"ok":true,"avatars":[{"user_id":"a",)" + v + ",\"pad\":\"" + std::string(40000, 'x') + "\"}]}", 200},
      {"{not json", 200},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    avatar_test_hooks::PutImageForTest("a", quorix_avatar::DecodeAvatarPng(Pattern(), kV2));
    service_.Script("POST", "/profile/v1/avatars", quorix_test::ScriptedReply::Json(cases[i].status, cases[i].body));
    quorix_avatar::SetWantedIds({"a"});
    quorix_avatar::Refresh(1, true, "u1", {}, "");
    EXPECT_TRUE(Settle());
    EXPECT_EQ(quorix_avatar::Find("a"), nullptr);
  }
  EXPECT_EQ(Gets(), 0u);
}

TEST_F(AvatarCacheTest, BatchFinishingAfterSignOutIsDropped) {
  Serve("a", kV1);
  hold_ = true;
  quorix_avatar::Refresh(1, true, "u1", {"a"}, "");
  ASSERT_TRUE(quorix_test::WaitFor([&] { return Posts() == 1; }, std::chrono::seconds(30)));
  EXPECT_TRUE(quorix_avatar::Refresh(2, false, "", {"a"}, ""));
  const uint64_t generation = quorix_avatar::Generation();
  service_.Release();
  EXPECT_FALSE(Settle(2, false, "", {"a"}));
  EXPECT_EQ(quorix_avatar::Generation(), generation);
  EXPECT_EQ(quorix_avatar::Find("a"), nullptr);
}

TEST_F(AvatarCacheTest, ShutdownAbortsAHeldRequestAndStopsNewBatches) {
  Serve("a", kV1);
  hold_ = true;
  quorix_avatar::Refresh(1, true, "u1", {"a"}, "");
  ASSERT_TRUE(quorix_test::WaitFor([&] { return Posts() == 1; }, std::chrono::seconds(30)));
  std::atomic<uint64_t> reads{0};
  std::thread reader([&] {
    while (reads.load() < 1000) quorix_avatar::Find("a"), quorix_avatar::Generation(), ++reads;
  });
  quorix_avatar::Shutdown();  // returns only once the batch ended
  reader.join();
  EXPECT_FALSE(avatar_test_hooks::BatchInFlightForTest());
  clock_.Advance(900000);
  quorix_avatar::Clear();
  quorix_avatar::Refresh(2, true, "u1", {"a"}, "a");
  EXPECT_FALSE(avatar_test_hooks::BatchInFlightForTest());
  EXPECT_EQ(Posts(), 1u);
}

}  // namespace
