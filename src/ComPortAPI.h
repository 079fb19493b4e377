// Serial port layer: one COM port at a time, with the tool's line settings and
// time-outs. Settings changed while no port is open take effect at the next open. A network port
// (RFC 2217, NetworkPort.h) is a port like the others behind the same calls.
#pragma once

#include "Platform.h"

#define RX_SIZE 8192
#define TX_SIZE 8192
#define MAX_WAIT_READ 500
#define BAUD_RATE 9600

// "\\.\COM" and up to eight digits, with the terminator.
#define COM_DEVICE_PATH_SIZE 16

extern HANDLE g_hCOM;
extern COMMTIMEOUTS g_cto;
extern DCB g_dcb;

BOOL ComPortAPI_OpenCOM(int nId);
BOOL ComPortAPI_CloseCOM(void);
BOOL ComPortAPI_ReadCOM(void *buffer, int nBytesToRead, int *pBytesRead);
BOOL ComPortAPI_WriteCOM(void *buffer, int nBytesToWrite, int *pBytesWritten);
BOOL ComPortAPI_SetReadingTimeoutInMs(int timeoutInMs);
BOOL ComPortAPI_SetBaudRate(int baudrate);
BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable);
// Drops what has arrived and not been read (the rest of a reply cut off unfinished).
BOOL ComPortAPI_DropInput(void);

// A port by its name: "COMn" (as ComPortAPI_OpenCOM(n)) or "rfc2217://HOST:PORT" (host name,
// IPv4, or IPv6 in brackets). Same settings, time-outs and error lines ("ERROR: Opening <name> failed !",
// "ERROR: <name> configuration failed !").
BOOL ComPortAPI_OpenNamed(const char *name);

// Discovery's existence test: the device of port nId opens exclusively (and is closed at once,
// no setting applied). FALSE when the port is absent, held by another program, or its number too
// long for the device path.
BOOL ComPortAPI_DeviceExists(int nId);
// After ComPortAPI_DeviceExists refused a port: TRUE when it is there but another program
// holds it, FALSE when it is absent.
BOOL ComPortAPI_OpenFoundPortHeld(void);
// Discovery's existence test by name; ComPortAPI_OpenFoundPortHeld() then tells held from absent.
// A network port exists when its server accepts the connection and negotiates; it is held when
// the server closes the connection instead (ser2net: "Port already in use").
BOOL ComPortAPI_NamedDeviceExists(const char *name);

#ifdef _WIN32
// For the console handler's thread: cuts a transfer under way short, gives the port back its
// settings and closes it, and refuses it to every later call. Waits at most about twice boundMs;
// a port still busy then is left to the end of the process.
void ComPortAPI_StopFromAnotherThread(DWORD boundMs);
#endif
