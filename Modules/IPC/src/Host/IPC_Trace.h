// The module's trace lines. They are built where the module reaches a notable state and
// written to no output; a build that wants them routes IPC_Trace's result somewhere.
#ifndef IPC_HOST_IPC_TRACE_H_
#define IPC_HOST_IPC_TRACE_H_

#include <string>

// "[SECCLI:IPC][<function>][line:<line>]<message>", the message formatted from |format| (a
// printf format with %d fields only) into at most 499 characters.
std::wstring IPC_Trace(const char* function, int line, const wchar_t* format, ...);

#define IPC_TRACE(format, value) IPC_Trace(__FUNCTION__, __LINE__, format, value)

#endif  // IPC_HOST_IPC_TRACE_H_
