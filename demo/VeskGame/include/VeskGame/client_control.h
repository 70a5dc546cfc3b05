// How the demo client is told to end: a named event per OEM id and user, so that clients
// for other ids (and tests running side by side) are never touched.
#ifndef VESKGAME_CLIENT_CONTROL_H_
#define VESKGAME_CLIENT_CONTROL_H_

#include <string>

// Options of the demo client itself, beside the launcher's.
constexpr wchar_t kQuitAfterKey[] = L"-quitafter";  // ends by itself after this many ms
constexpr wchar_t kStopKey[] = L"-stop";            // asks the running client to end

// Global\Quit-Veskgame-<oemId>[-<userId>]: signalled to end the client.
std::wstring ClientQuitEventName(const std::wstring& oem_id, const std::wstring& user_id);

// Signals the quit event of the client for these ids and waits up to |timeout_ms| for it
// to give up its mutex. False when no such client runs or it did not end in time.
bool RequestClientQuit(const std::wstring& oem_id, const std::wstring& user_id,
                       unsigned long timeout_ms);

#endif  // VESKGAME_CLIENT_CONTROL_H_
