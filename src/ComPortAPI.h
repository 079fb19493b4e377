// Serial port layer: one COM port at a time, with the tool's line settings and
// time-outs. Settings changed while no port is open take effect at the next open.
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

// Opens the device of port nId exclusively and without applying any setting; the
// existence test of discovery uses it too. INVALID_HANDLE_VALUE when the port is
// absent, held by another program, or its number too long for the device path.
HANDLE ComPortAPI_OpenDevice(int nId);

// After a failed ComPortAPI_OpenDevice: TRUE when the port is there but another program
// holds it, FALSE when it is absent.
BOOL ComPortAPI_OpenFoundPortHeld(void);
