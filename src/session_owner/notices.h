#pragma once
// The owner's notices: the current system notice's helpers, the per-peer
// notification mode and the schedule of the inbox poll.
#include <cstdint>
#include <string>

#include "phone_service/gateway.h"
#include "session_owner/owner_ui.h"

struct UiSettings;
struct CurrentNoticeRecord;
struct NoticePollRecord;

// Clears `record` (as ClearCurrentNotice) when its notice has `id`.
void ClearCurrentNoticeIfId(CurrentNoticeRecord& record, uint64_t id);
// The current notice when it has an id and `now` is below its expiry, else
// an empty notice.
quorix_native::Ui::Notice CopyCurrentNoticeIfUnexpired(const CurrentNoticeRecord& record, uint64_t now);
// The larger of the settings' notification_mode and the mode stored for
// "own id/peer id" (0 when missing). 0 sounds, 1 quiet, 2 and above hidden.
int32_t LookupPeerNotificationMode(const UiSettings& settings, const std::string& own_id,
                                   const std::string& peer_id);
// Whether an inbox poll should start now for this record and inbox state.
bool ShouldStartNoticePoll(const NoticePollRecord& record, const quorix_phone::Gateway::InboxReadiness& inbox,
                           uint64_t now);
