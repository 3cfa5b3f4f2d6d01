#pragma once
// The service's three chat message routes as a stateful model on the
// loopback service, for one signed-in user: messages get an id, a rising
// sequence and a rising created_at; the inbox hands out unacknowledged
// messages page by page with a fresh acknowledgement token per page; a send
// stores a new client message id once and answers a repeated one with the
// message stored the first time. Knobs bend single replies; every request is
// recorded. Thread-safe.
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "loopback_service.h"

namespace quorix_test {

class FakeMessageService {
 public:
  enum class Route { kSend, kAck, kInbox };

  struct Message {
    std::string id;
    std::string sender;
    std::string receiver;
    std::string text;
    std::string client_message_id;
    std::string sequence;
    double created_at = 0.0;
    bool read = false;
    bool legacy = false;
    bool in_inbox = true;  // own sends only when echoed
  };

  struct DeliverOptions {
    bool read = false;
    bool legacy = false;
  };

  // How one reply is bent; the defaults bend nothing.
  struct Knob {
    std::optional<unsigned> status{};         // answered with {"ok":false}, nothing done
    bool hold = false;                        // held until LoopbackService::Release
    bool wrong_connection = false;            // send, inbox: another "connection_id"
    // Send.
    bool null_message = false;                // "message":null with "message_id"
    std::optional<std::string> named_id{};    // the "message_id" then named (default: the real one)
    std::optional<std::string> text{}, nonce{}, receiver{};  // the echoed message altered
    bool no_sequence = false;                 // send: the echo; inbox: the page's first message
    bool expired = false;
    // Ack.
    bool drop_one_id = false;                 // the reply lacks the last id
    // Inbox.
    size_t page_limit = 0;                    // 0: 100
    bool repeat_id = false;                   // the page's first message twice
    std::optional<std::string> user_id{}, next_cursor{};
    bool new_stream = false;                  // a fresh "stream_id"
  };

  struct Request {
    std::string method;
    std::string target;
    std::string body;
    std::string connection;  // X-Quorix-Connection
  };

  FakeMessageService(LoopbackService& service, std::string user_id);

  // Seeds an incoming message; returns its id.
  std::string Deliver(const std::string& from, const std::string& text, DeliverOptions options);
  std::string Deliver(const std::string& from, const std::string& text) { return Deliver(from, text, DeliverOptions()); }
  // Own sends also go into the inbox.
  void EchoSends(bool on);
  // The next request on `route` (or on a send with that nonce) is bent.
  void Once(Route route, Knob knob);
  // Every later request on `route` is bent, until Clear.
  void Always(Route route, Knob knob);
  void ForNonce(const std::string& nonce, Knob knob);  // sticky
  void Clear();
  // Called on the service thread as each chat request arrives, before it is
  // answered.
  void OnArrival(std::function<void(const Request&)> callback);

  std::vector<Request> Requests() const;
  std::vector<Request> RequestsTo(Route route) const;
  std::map<std::string, size_t> SendsPerNonce() const;
  std::set<std::string> Acknowledged() const;
  std::vector<Message> Messages() const;
  size_t Unacknowledged() const;

 private:
  ScriptedReply Answer(Route route, const RecordedRequest& request);
  ScriptedReply AnswerSend(const RecordedRequest& request, const Knob& knob);
  ScriptedReply AnswerAck(const RecordedRequest& request, const Knob& knob);
  ScriptedReply AnswerInbox(const RecordedRequest& request, const Knob& knob);
  Knob TakeKnob(Route route, const std::string& nonce);
  Message& AddLocked(Message message);
  std::string MessageJson(const Message& m, bool with_sequence) const;
  std::string NewToken(std::vector<std::string> ids);

  const std::string user_id_;
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
  std::map<std::string, size_t> by_id_;
  std::map<std::string, std::string> id_by_nonce_;
  std::map<std::string, size_t> sends_;
  std::set<std::string> acknowledged_;
  std::map<std::string, std::vector<std::string>> tokens_;
  std::map<Route, std::vector<Knob>> once_;
  std::map<Route, Knob> always_;
  std::map<std::string, Knob> nonce_knobs_;
  std::vector<Request> requests_;
  std::function<void(const Request&)> arrival_;
  bool echo_ = false;
  size_t next_ = 0;
  size_t streams_ = 1;
  // Each fake is a service of its own: its stream ids differ from those of
  // the fakes before it, so an inbox cursor kept from one never skips the
  // messages of the next.
  const size_t instance_;
};

}  // namespace quorix_test
