// The record of the requests the demo client received over its channel, a UTF-8 text file
// beside the executable that tests and the demo read.
#ifndef VESKGAME_REQUEST_RECORD_H_
#define VESKGAME_REQUEST_RECORD_H_

#include <string>
#include <vector>

struct ReceivedRequest {
  int sourceId = 0;   // the sender's communication id
  std::string bytes;  // exactly as received, a sender's terminating NUL included
};

// The record file in |folder|.
std::wstring ClientRequestsPath(const std::wstring& folder);

// Appends |request| as one record: its source, size and bytes, and for reading by eye
// either its "message_id" and "content" (a launch request) or its text. False when the
// file could not be opened or written.
bool AppendReceivedRequest(const std::wstring& file, const ReceivedRequest& request);

// The complete records of |file|, oldest first.
std::vector<ReceivedRequest> ReadReceivedRequests(const std::wstring& file);

#endif  // VESKGAME_REQUEST_RECORD_H_
