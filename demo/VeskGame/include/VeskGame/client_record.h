// The record of the demo client's starts, a UTF-8 text file beside the executable that
// tests and the demo read to see what the client was started with.
#ifndef VESKGAME_CLIENT_RECORD_H_
#define VESKGAME_CLIENT_RECORD_H_

#include <string>
#include <vector>

struct ClientStart {
  unsigned long processId = 0;
  std::wstring commandLine;       // exactly as GetCommandLineW gave it
  std::wstring workingDirectory;
  bool heldMutex = false;         // false: another client for the same ids was running
  bool servesChannel = false;     // the client's request channel was served at the start
};

// The record file in |folder|.
std::wstring ClientStartsPath(const std::wstring& folder);

// Appends |start| as one record. False when the file could not be opened or written.
bool AppendClientStart(const std::wstring& file, const ClientStart& start);

// The complete records of |file|, oldest first; one still being written is left out.
std::vector<ClientStart> ReadClientStarts(const std::wstring& file);

#endif  // VESKGAME_CLIENT_RECORD_H_
