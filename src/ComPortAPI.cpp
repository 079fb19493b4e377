#include "ComPortAPI.h"

#include <cerrno>
#include <cstdio>

#include "LongWait.h"

HANDLE g_hCOM = INVALID_HANDLE_VALUE;

COMMTIMEOUTS g_cto = {
    MAX_WAIT_READ, // ReadIntervalTimeout
    0,             // ReadTotalTimeoutMultiplier
    MAX_WAIT_READ, // ReadTotalTimeoutConstant
    0,             // WriteTotalTimeoutMultiplier
    0,             // WriteTotalTimeoutConstant
};

DCB g_dcb = {
    sizeof(DCB),        // DCBlength
    BAUD_RATE,          // BaudRate
    1,                  // fBinary
    0,                  // fParity
    1,                  // fOutxCtsFlow
    0,                  // fOutxDsrFlow
    DTR_CONTROL_ENABLE, // fDtrControl
    0,                  // fDsrSensitivity
    0,                  // fTXContinueOnXoff
    0,                  // fOutX
    0,                  // fInX
    0,                  // fErrorChar
    0,                  // fNull
    RTS_CONTROL_ENABLE, // fRtsControl
    0,                  // fAbortOnError
    0,                  // fDummy2
    0,                  // wReserved
    256,                // XonLim
    256,                // XoffLim
    8,                  // ByteSize
    NOPARITY,           // Parity
    ONESTOPBIT,         // StopBits
    0x11,               // XonChar
    0x13,               // XoffChar
    0x3F,               // ErrorChar
    0x1A,               // EofChar
    0x10,               // EvtChar
    0,                  // wReserved1
};

#ifdef _WIN32
// The line settings the port had when it was opened, given back at close. (The POSIX layer
// does this inside CloseHandle, with the terminal settings that a DCB cannot hold.)
static DCB g_dcbFound;
static BOOL g_hasDcbFound = FALSE;
#endif

static BOOL isPortOpen(void)
{
    return g_hCOM != INVALID_HANDLE_VALUE && g_hCOM != NULL;
}

static void closeOpenPort(void)
{
    if (isPortOpen()) {
        // Bytes a unit no longer takes are dropped, so that the close does not wait for them.
        PurgeComm(g_hCOM, PURGE_TXABORT | PURGE_TXCLEAR);
#ifdef _WIN32
        if (g_hasDcbFound) {
            SetCommState(g_hCOM, &g_dcbFound);
        }
        g_hasDcbFound = FALSE;
#endif
        CloseHandle(g_hCOM);
    }
    g_hCOM = INVALID_HANDLE_VALUE;
}

#ifdef _WIN32
// The console handler stops the port from a thread of its own while the main thread may be using
// it. Every use holds this guard; a transfer, which may block for seconds, holds it only while it
// starts and ends, and counts itself under way in between, so that the handler can cut it short.
// Once stopped, the port is refused to the main thread.
static SRWLOCK g_portGuard = SRWLOCK_INIT;
static CONDITION_VARIABLE g_transferEnded = CONDITION_VARIABLE_INIT;
static BOOL g_portStopped = FALSE;
static int g_transfersUnderWay = 0;

static BOOL portGuardTake(void)
{
    AcquireSRWLockExclusive(&g_portGuard);
    if (g_portStopped) {
        ReleaseSRWLockExclusive(&g_portGuard);
        return FALSE;
    }
    return TRUE;
}

static void portGuardRelease(void)
{
    ReleaseSRWLockExclusive(&g_portGuard);
}

static BOOL transferBegin(void)
{
    if (!portGuardTake()) {
        return FALSE;
    }
    g_transfersUnderWay++;
    portGuardRelease();
    return TRUE;
}

static void transferEnd(void)
{
    AcquireSRWLockExclusive(&g_portGuard);
    g_transfersUnderWay--;
    ReleaseSRWLockExclusive(&g_portGuard);
    WakeAllConditionVariable(&g_transferEnded);
}

// Takes the guard within boundMs, stopped or not. SleepEx, not Sleep: a test build replaces Sleep.
static BOOL portGuardTakeWithin(DWORD boundMs)
{
    for (DWORD waited = 0; !TryAcquireSRWLockExclusive(&g_portGuard); waited += 10) {
        if (waited >= boundMs) {
            return FALSE;
        }
        SleepEx(10, FALSE);
    }
    return TRUE;
}

void ComPortAPI_StopFromAnotherThread(DWORD boundMs)
{
    if (!portGuardTakeWithin(boundMs)) {
        return;
    }
    g_portStopped = TRUE;
    if (isPortOpen() && g_transfersUnderWay > 0) {
        PurgeComm(g_hCOM, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    // The transfer cut short ends by itself; a driver that cannot abort it leaves the port to
    // the end of the process, which closes it without its settings.
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    for (ULONGLONG now = GetTickCount64(); g_transfersUnderWay > 0 && now < deadline;
         now = GetTickCount64()) {
        SleepConditionVariableSRW(&g_transferEnded, &g_portGuard, (DWORD)(deadline - now), 0);
    }
    if (g_transfersUnderWay == 0) {
        closeOpenPort();
    }
    ReleaseSRWLockExclusive(&g_portGuard);
}
#else
// Signal handlers give the port back on POSIX systems (RestoreOnInterrupt.h): one thread.
static BOOL portGuardTake(void)
{
    return TRUE;
}

static void portGuardRelease(void) {}

static BOOL transferBegin(void)
{
    return TRUE;
}

static void transferEnd(void) {}
#endif

// A write may take the line time of its bytes, rounded up to whole milliseconds a byte (10
// bits each), plus this allowance for a unit that holds CTS off while it works (a flash page
// erase takes well under a second). A 10,240-byte block of image data at 115,200 baud thus
// gives up at most about 30 s after it began, well within a minute of the unit's last byte.
#define WRITE_ALLOWANCE_MS LONG_WAIT_MS(20000)

// The write fields follow the recorded rate: every time-out record applied carries them.
static void setWriteDeadlineForRate(void)
{
    DWORD bitsPerSecond = g_dcb.BaudRate > 0 ? g_dcb.BaudRate : 1;
    g_cto.WriteTotalTimeoutMultiplier = (10000 + bitsPerSecond - 1) / bitsPerSecond;
    g_cto.WriteTotalTimeoutConstant = WRITE_ALLOWANCE_MS;
}

// Opens the device of port nId exclusively, without applying any setting.
static HANDLE openDevice(int nId)
{
    char szCOM[COM_DEVICE_PATH_SIZE];
    int length = snprintf(szCOM, sizeof szCOM, "\\\\.\\COM%d", nId);
    if (length < 0 || length >= (int)sizeof szCOM) {
        // A cut-off path would name another port.
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(szCOM, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM,
                       NULL);
}

// Whether the last refused existence test found the port held by another program, not absent.
static BOOL g_deviceHeld = FALSE;

// What a refused open says: the port's exclusive claim is another program's.
static BOOL openRefusedAsHeld(void)
{
#ifdef _WIN32
    DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? TRUE : FALSE;
#else
    // The platform layer's exclusive claim: the kernel's (TIOCEXCL) or the lock's.
    return errno == EBUSY || errno == EWOULDBLOCK ? TRUE : FALSE;
#endif
}

BOOL ComPortAPI_OpenFoundPortHeld(void)
{
    return g_deviceHeld;
}

BOOL ComPortAPI_DeviceExists(int nId)
{
    if (!portGuardTake()) {
        return FALSE;
    }
    HANDLE device = openDevice(nId);
    g_deviceHeld = device == INVALID_HANDLE_VALUE && openRefusedAsHeld();
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
    }
    portGuardRelease();
    return device != INVALID_HANDLE_VALUE;
}

// Opens and configures the port: NULL, or the error line's format with the port closed.
static const char *openConfigured(int nId)
{
    g_hCOM = openDevice(nId);
    if (g_hCOM == INVALID_HANDLE_VALUE) {
        return "ERROR: Opening COM%d failed !";
    }
#ifdef _WIN32
    g_dcbFound.DCBlength = sizeof(DCB);
    g_hasDcbFound = GetCommState(g_hCOM, &g_dcbFound);
#endif
    SetupComm(g_hCOM, RX_SIZE, TX_SIZE);
    setWriteDeadlineForRate();
    // Time-outs first, then line settings; the purge after both starts the port
    // with empty queues under the current settings.
    if (!SetCommTimeouts(g_hCOM, &g_cto) || !SetCommState(g_hCOM, &g_dcb)) {
        closeOpenPort();
        return "ERROR: COM%d configuration failed !";
    }
    PurgeComm(g_hCOM, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    EscapeCommFunction(g_hCOM, SETDTR);
    return NULL;
}

BOOL ComPortAPI_OpenCOM(int nId)
{
    if (!portGuardTake()) {
        return FALSE;
    }
    const char *error = openConfigured(nId);
    portGuardRelease();
    // Written without the guard: the console handler holds the console's lock while it stops the port.
    if (error != NULL) {
        printf(error, nId);
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}

// The number of a name "COMn"; 0 for any other name.
static int comNumberOf(const char *name)
{
    int number = 0;
    char rest = '\0';
    return sscanf(name, "COM%d%c", &number, &rest) == 1 && number > 0 ? number : 0;
}

BOOL ComPortAPI_OpenNamed(const char *name)
{
    return ComPortAPI_OpenCOM(comNumberOf(name));
}

BOOL ComPortAPI_NamedDeviceExists(const char *name)
{
    return ComPortAPI_DeviceExists(comNumberOf(name));
}

BOOL ComPortAPI_CloseCOM(void)
{
    if (portGuardTake()) {
        closeOpenPort();
        portGuardRelease();
    }
    return TRUE;
}

BOOL ComPortAPI_ReadCOM(void *buffer, int nBytesToRead, int *pBytesRead)
{
    DWORD received = 0;
    BOOL result = FALSE;
    if (transferBegin()) {
        result = ReadFile(g_hCOM, buffer, nBytesToRead > 0 ? (DWORD)nBytesToRead : 0, &received, NULL);
        transferEnd();
    }
    *pBytesRead = (int)received;
    return result;
}

BOOL ComPortAPI_WriteCOM(void *buffer, int nBytesToWrite, int *pBytesWritten)
{
    DWORD written = 0;
    BOOL result = FALSE;
    if (transferBegin()) {
        result = WriteFile(g_hCOM, buffer, nBytesToWrite > 0 ? (DWORD)nBytesToWrite : 0, &written, NULL);
        transferEnd();
    }
    *pBytesWritten = (int)written;
    return result;
}

static BOOL applyTimeouts(void)
{
    return SetCommTimeouts(g_hCOM, &g_cto);
}

static BOOL applyLineSettings(void)
{
    return SetCommState(g_hCOM, &g_dcb);
}

static BOOL applyLineSettingsAndTimeouts(void)
{
    return applyLineSettings() && applyTimeouts();
}

static BOOL purgeInput(void)
{
    return PurgeComm(g_hCOM, PURGE_RXABORT | PURGE_RXCLEAR);
}

// FALSE when no port is open (or it was stopped), else what apply says.
static BOOL applyToOpenPort(BOOL (*apply)(void))
{
    if (!portGuardTake()) {
        return FALSE;
    }
    BOOL applied = isPortOpen() ? apply() : FALSE;
    portGuardRelease();
    return applied;
}

// The setters record the value first; with no port open that is all they can do,
// and the next open applies the record.
BOOL ComPortAPI_SetReadingTimeoutInMs(int timeoutInMs)
{
    if ((DWORD)timeoutInMs == g_cto.ReadIntervalTimeout) {
        return TRUE;
    }
    g_cto.ReadIntervalTimeout = (DWORD)timeoutInMs;
    g_cto.ReadTotalTimeoutMultiplier = 0;
    g_cto.ReadTotalTimeoutConstant = (DWORD)timeoutInMs;
    setWriteDeadlineForRate();
    return applyToOpenPort(applyTimeouts);
}

BOOL ComPortAPI_SetBaudRate(int baudrate)
{
    // No line runs at zero or fewer bits a second; such a rate is not left to the driver.
    if (baudrate <= 0) {
        return FALSE;
    }
    if ((DWORD)baudrate == g_dcb.BaudRate) {
        return TRUE;
    }
    g_dcb.BaudRate = (DWORD)baudrate;
    setWriteDeadlineForRate();
    return applyToOpenPort(applyLineSettingsAndTimeouts);
}

BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable)
{
    if (isEnable == (BOOL)g_dcb.fOutxCtsFlow) {
        return TRUE;
    }
    g_dcb.fOutxCtsFlow = (DWORD)(isEnable & 1);
    return applyToOpenPort(applyLineSettings);
}

BOOL ComPortAPI_DropInput(void)
{
    return applyToOpenPort(purgeInput);
}
