// Runs work whose failure leaves the process in no state worth keeping.
#ifndef IPC_HOST_IPC_FAULTGUARD_H_
#define IPC_HOST_IPC_FAULTGUARD_H_

#include "base/callback.h"

// Runs |task|. Should it raise any exception or hardware fault, writes |message| to the
// debugger output and ends the whole process at once with exit code 1.
void IPC_RunOrTerminate(const base::Closure& task, const wchar_t* message);

#endif  // IPC_HOST_IPC_FAULTGUARD_H_
