#include "ComPortAPI.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "LongWait.h"
#include "NetworkPort.h"

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

// The open port when it is a network port (g_hCOM is then INVALID_HANDLE_VALUE).
static NetworkPort *g_networkPort = NULL;

static BOOL isPortOpen(void)
{
    return g_networkPort != NULL || (g_hCOM != INVALID_HANDLE_VALUE && g_hCOM != NULL);
}

static void closeOpenPort(void)
{
    if (g_networkPort != NULL) {
        // The server gives its port back its settings when the connection ends.
        delete g_networkPort;
        g_networkPort = NULL;
    } else if (isPortOpen()) {
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
    if (g_networkPort != NULL && g_transfersUnderWay > 0) {
        g_networkPort->stopTransfers();
    } else if (isPortOpen() && g_transfersUnderWay > 0) {
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

static BOOL applyTimeouts(void)
{
    if (g_networkPort != NULL) {
        g_networkPort->setTimeouts(g_cto);
        return TRUE;
    }
    return SetCommTimeouts(g_hCOM, &g_cto);
}

static BOOL applyLineSettings(void)
{
    return g_networkPort != NULL ? g_networkPort->setLineSettings(g_dcb) : SetCommState(g_hCOM, &g_dcb);
}

static BOOL purgePort(DWORD flags)
{
    return g_networkPort != NULL ? g_networkPort->purge(flags) : PurgeComm(g_hCOM, flags);
}

// A port as its name gives it: the number of "COMn", or the server of "rfc2217://HOST:PORT".
struct PortName {
    int number;
    bool network;
    std::string host;
    std::string service;
};

static BOOL parsePortName(const char *name, PortName *port)
{
    port->network = parseNetworkPortName(name, &port->host, &port->service);
    if (port->network) {
        return TRUE;
    }
    if (strncmp(name, "COM", 3) != 0 || name[3] < '0' || name[3] > '9') {
        return FALSE;
    }
    char *end = NULL;
    errno = 0;
    long number = strtol(name + 3, &end, 10);
    port->number = (int)number;
    return *end == '\0' && errno == 0 && number <= INT_MAX ? TRUE : FALSE;
}

// Takes the port, without applying any setting.
static BOOL takePort(const PortName &port)
{
    if (port.network) {
        NetworkPort *networkPort = new NetworkPort;
        if (networkPort->connect(port.host, port.service) != NetworkPortReach::REACHED) {
            delete networkPort;
            return FALSE;
        }
        g_networkPort = networkPort;
        return TRUE;
    }
    g_hCOM = openDevice(port.number);
    if (g_hCOM == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
#ifdef _WIN32
    g_dcbFound.DCBlength = sizeof(DCB);
    g_hasDcbFound = GetCommState(g_hCOM, &g_dcbFound);
#endif
    SetupComm(g_hCOM, RX_SIZE, TX_SIZE);
    return TRUE;
}

// The error line of a port that cannot be taken, or whose name names none.
static const char OPENING_FAILED[] = "ERROR: Opening %s failed !";

// Opens and configures the port: NULL, or the error line's format (for the port's name) with the
// port closed.
static const char *openConfigured(const PortName &port)
{
    if (!takePort(port)) {
        return OPENING_FAILED;
    }
    setWriteDeadlineForRate();
    // Time-outs first, then line settings; the purge after both starts the port
    // with empty queues under the current settings.
    if (!applyTimeouts() || !applyLineSettings()) {
        closeOpenPort();
        return "ERROR: %s configuration failed !";
    }
    purgePort(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    // A network port's server raises DTR itself while a client is connected (ser2net on a
    // pseudo-terminal never even acknowledges a DTR request): none is sent.
    if (!port.network) {
        EscapeCommFunction(g_hCOM, SETDTR);
    }
    return NULL;
}

static BOOL openNamed(const char *name, const PortName *port)
{
    if (!portGuardTake()) {
        return FALSE;
    }
    const char *error = port != NULL ? openConfigured(*port) : OPENING_FAILED;
    portGuardRelease();
    // Written without the guard: the console handler holds the console's lock while it stops the port.
    if (error != NULL) {
        printf(error, name);
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}

BOOL ComPortAPI_OpenCOM(int nId)
{
    char name[COM_DEVICE_PATH_SIZE];
    snprintf(name, sizeof name, "COM%d", nId);
    const PortName port = {nId, false, "", ""};
    return openNamed(name, &port);
}

BOOL ComPortAPI_OpenNamed(const char *name)
{
    PortName port;
    return openNamed(name, parsePortName(name, &port) ? &port : NULL);
}

BOOL ComPortAPI_NamedDeviceExists(const char *name)
{
    PortName port;
    g_deviceHeld = FALSE;
    if (!parsePortName(name, &port)) {
        return FALSE;
    }
    if (!port.network) {
        return ComPortAPI_DeviceExists(port.number);
    }
    if (!portGuardTake()) {
        return FALSE;
    }
    // A probe of its own, not the open port's: the guard need not be held while it connects.
    portGuardRelease();
    NetworkPort probe;
    const NetworkPortReach reach = probe.connect(port.host, port.service);
    g_deviceHeld = reach == NetworkPortReach::HELD;
    return reach == NetworkPortReach::REACHED;
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
        const DWORD count = nBytesToRead > 0 ? (DWORD)nBytesToRead : 0;
        result = g_networkPort != NULL ? g_networkPort->read(buffer, count, &received)
                                       : ReadFile(g_hCOM, buffer, count, &received, NULL);
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
        const DWORD count = nBytesToWrite > 0 ? (DWORD)nBytesToWrite : 0;
        result = g_networkPort != NULL ? g_networkPort->write(buffer, count, &written)
                                       : WriteFile(g_hCOM, buffer, count, &written, NULL);
        transferEnd();
    }
    *pBytesWritten = (int)written;
    return result;
}

static BOOL applyLineSettingsAndTimeouts(void)
{
    return applyLineSettings() && applyTimeouts();
}

static BOOL purgeInput(void)
{
    return purgePort(PURGE_RXABORT | PURGE_RXCLEAR);
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
