#pragma once
// The two calls the chat history makes on the service connection. The
// connection class lives above the chat code and implements this; the
// history session stores a pointer to it and never owns it.
#include <cstdint>
#include <string>

namespace quorix_phone {

class MessagesChannel {
 public:
  virtual ~MessagesChannel() = default;

  // One chat request ("POST" send or ack, "GET" inbox page), blocking the
  // calling thread. True when the exchange completed, whatever its status;
  // the outputs then hold the status, the reply body and the connection id
  // the request went out under.
  [[nodiscard]] virtual bool ExecuteMessagesRequest(const std::string& method, const std::string& path,
                                                    const std::string& body, uint32_t* status, std::string* reply,
                                                    std::string* connection_id) = 0;
  // The current connection id; empty when not connected.
  virtual std::string GetConnectionId() = 0;
};

}  // namespace quorix_phone
