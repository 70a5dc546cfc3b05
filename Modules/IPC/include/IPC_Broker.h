// The broker's whole application interface: one process serves a name as server host, others
// connect to it as client hosts, and byte messages are routed between them by communication id.
// An application includes this header and nothing else of the module.
//
// Threads: every call may be made from any application thread. The module does its work on
// three threads of its own; listener and status callbacks run on one of them ("EventThread"),
// one at a time for the whole module, so a callback that blocks delays every other callback.
// IPC_Connect and IPC_ShutDown wait for those threads: never call them from a callback.
//
// From the DLL (IPC_Broker.dll, used with IPC_BROKER_DLL defined): shut every host down with
// IPC_ShutDown before the DLL is unloaded and before the process ends. The last IPC_ShutDown
// joins the module's threads; at unload they cannot be joined, since the loader lock that
// FreeLibrary and process exit hold keeps them from ending.
#ifndef IPC_BROKER_H_
#define IPC_BROKER_H_

// IPC_BROKER_IMPLEMENTATION is defined while the module itself is built; a program that uses
// the module from a DLL defines IPC_BROKER_DLL, one that links it in defines nothing.
#if defined(IPC_BROKER_IMPLEMENTATION)
#define IPC_API __declspec(dllexport)
#elif defined(IPC_BROKER_DLL)
#define IPC_API __declspec(dllimport)
#else
#define IPC_API
#endif

#if defined(_MSC_VER) || defined(__MINGW32__)
#define IPC_CALL __cdecl
#else
#define IPC_CALL
#endif

// What a host is. The values are also bits: a name is found again only by a mode sharing one.
enum Mode {
  IPC_MODE_SERVER = 1,
  IPC_MODE_CLIENT = 2
};

// What a status callback reports; no other value is ever reported.
enum Status {
  IPC_STATUS_CONNECTED = 0,  // a client reached the server (reported by the server host)
  IPC_STATUS_ERROR = 2       // the channel to the peer failed: it closed or died
};

// Targets of IPC_Send besides a client's communication id.
enum {
  IPC_TARGET_SERVER = 10000,  // the server host itself
  IPC_TARGET_ALL = -1         // every client of the server (but the sender)
};

// Called with the user pointer given when it was added, the sender's communication id and the
// message; the bytes are valid only during the call. The result is ignored.
typedef bool(IPC_CALL* IPC_ListenerFunc)(void* user, int source_id, void* data, unsigned size);

// Called with the user pointer, the handle of the reporting host, the status, the id of the
// peer's channel (a client's communication id, or the server's) and the peer's process id.
typedef void(IPC_CALL* IPC_StatusFunc)(void* user, void* host, Status status, int id,
                                       int process_id);

// Serves |name| (IPC_MODE_SERVER) or connects to the server of |name| (IPC_MODE_CLIENT) and
// returns the host's handle, or null: bad arguments, a name served elsewhere, no server
// answering within 10 s, or a call from a callback or another module thread.
// Blocks until the module has made or given up on the host. A client call waits for its
// server on the calling thread alone: a busy, slow or silent server holds up no other host
// of the process. Client calls of several threads for one name take turns at its server,
// which admits one connecting client at a time. A second server call for the same name
// returns the same handle; one IPC_ShutDown ends it for both callers. Messages that reach
// the host before its first listener is added (a server may greet a client before
// IPC_Connect has returned) are kept for that listener, up to 16 MiB.
IPC_API void* IPC_CALL IPC_Connect(Mode mode, const char* name);

// Closes the host once every message sent through it before is written to its peers and,
// with the last host, stops the module's threads. Blocks up to 5 s: a peer that reads
// nothing for 4 s loses what was left for it. True when all of it happened in time: nothing
// sent was cut short, and no callback of the host runs any more. False for an unknown
// handle, a call from a callback, or when the 5 s ran out (a peer that did not read, a
// callback still running); the host is gone all the same, and threads that could not be
// stopped in time stay until the next last IPC_ShutDown or the end of the process.
// The handle is invalid once the call begins; every function rejects it.
IPC_API bool IPC_CALL IPC_ShutDown(void* host);

// Copies |size| bytes and queues them for |target_id|; true once queued (delivery is not
// confirmed), false for an unknown handle, null data, size 0 or a size above 134217696 (the
// most one message carries), and false through a client host whose channel to its server has
// failed (status 2 reports it): the server went away, or read nothing while more than 64 MiB
// were queued for it, which closes the channel. A server host drops such a client the same
// way: more than 64 MiB queued for a client that reads nothing closes its channel, and
// status 2 reports it. Never blocks.
IPC_API bool IPC_CALL IPC_Send(void* host, int target_id, void* data, unsigned size);

// Sends through every host whose kind reaches |target_id| (client hosts for
// IPC_TARGET_SERVER, every host for IPC_TARGET_ALL, server hosts for a client's id); false
// when no host exists, for null data, size 0 or a size above 134217696. Never blocks.
IPC_API bool IPC_CALL IPC_Send(int target_id, void* data, unsigned size);

// Adds |listener| to the host's message listeners (a function already added keeps its first
// user pointer); 0, or -1 for an unknown handle. Takes effect shortly after, on the module.
// Messages that arrive faster than the listeners return wait in memory, without a bound,
// for their turn: a listener that is slow for long hands its work to a thread of its own.
IPC_API int IPC_CALL IPC_AddListener(void* host, IPC_ListenerFunc listener, void* user);

// Removes |listener| from every host, whatever user pointer it was added with; 0.
// Any thread; after it returns the listener may still be running its last call.
IPC_API int IPC_CALL IPC_RemoveListener(IPC_ListenerFunc listener, void* user);

// Adds |callback| to the host's status callbacks (a function already added keeps its first
// user pointer); 0, or -1 for an unknown handle. Any thread.
IPC_API int IPC_CALL IPC_AddStatusCallback(void* host, IPC_StatusFunc callback, void* user);

// Removes |callback| from every host, whatever user pointer it was added with; 0.
// Any thread.
IPC_API int IPC_CALL IPC_RemoveStatusCallback(IPC_StatusFunc callback, void* user);

// Adds |callback| to every host registered now (not to hosts made later). Returns nothing.
// Any thread.
IPC_API void IPC_CALL IPC_RegisterStatusCallback(IPC_StatusFunc callback, void* user);

// The id other hosts address this host by (above 10000), or 0 for an unknown handle.
// Any thread.
IPC_API int IPC_CALL IPC_GetCommunicationID(void* host);

#endif  // IPC_BROKER_H_
