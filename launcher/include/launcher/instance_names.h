// Names of the kernel objects that tie a launcher and its client to an OEM id and user.
#ifndef LAUNCHER_INSTANCE_NAMES_H_
#define LAUNCHER_INSTANCE_NAMES_H_

#include <string>

// Held by the one launcher working for |oemId|: Global\zaverezodovodav-<oemId>.
std::wstring LauncherMutexName(const std::wstring& oemId);

// The running client's channel: Veskgame-<oemId>, with -<userId> when the user id is
// not empty.
std::wstring ClientChannelName(const std::wstring& oemId, const std::wstring& userId);

// Held by the running client: the channel name in the global namespace.
std::wstring ClientMutexName(const std::wstring& oemId, const std::wstring& userId);

#endif  // LAUNCHER_INSTANCE_NAMES_H_
