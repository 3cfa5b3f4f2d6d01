#pragma once
// The call gateway interface: what the call session asks of the signalling
// backend. true means the request was accepted for sending.
#include <string>

namespace quorix_call {

class Gateway {
 public:
  virtual ~Gateway() = default;
  virtual bool IsReady() = 0;
  virtual bool StartCall(const std::string& peer_id) = 0;
  virtual bool CancelCall(const std::string& peer_id) = 0;
  virtual bool AnswerCall(const std::string& call_id) = 0;
  virtual bool DeclineCall(const std::string& call_id) = 0;
  virtual bool EndCall(const std::string& call_id) = 0;
  virtual bool SetMuted(const std::string& call_id, bool muted) = 0;
};

}  // namespace quorix_call
