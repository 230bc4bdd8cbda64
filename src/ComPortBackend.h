// What ComPortAPI needs from the operating system, one call per kernel32
// operation it uses. Each platform implements this in its own file; nothing
// outside ComPortAPI includes it.
#ifndef COM_PORT_BACKEND_H
#define COM_PORT_BACKEND_H

#include "Platform.h"

// Exclusive open of COM nId; INVALID_HANDLE_VALUE when the port is missing,
// held, or its name would not fit the 16-character device name buffer.
HANDLE ComPortBackend_Open(int nId);
void ComPortBackend_SetupQueues(HANDLE port, DWORD rxSize, DWORD txSize);
BOOL ComPortBackend_SetTimeouts(HANDLE port, const COMMTIMEOUTS *timeouts);
BOOL ComPortBackend_SetState(HANDLE port, const DCB *settings);
// Drops everything pending or queued in either direction.
void ComPortBackend_Purge(HANDLE port);
void ComPortBackend_RaiseDtr(HANDLE port);
BOOL ComPortBackend_Read(HANDLE port, void *buffer, int nBytesToRead, int *pBytesRead);
BOOL ComPortBackend_Write(HANDLE port, const void *buffer, int nBytesToWrite, int *pBytesWritten);
void ComPortBackend_Close(HANDLE port);

#endif
