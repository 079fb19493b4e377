// Opening, closing and the modem/queue calls of a serial port.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <string>

#include "PortNames.h"
#include "RestoreOnInterrupt.h"
#include "SerialHandle.h"

SerialHandle *serialHandleFrom(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<SerialHandle *>(handle);
}

namespace {

int openFlagsFor(DWORD access)
{
    bool reads = (access & GENERIC_READ) != 0;
    bool writes = (access & GENERIC_WRITE) != 0;
    int mode = reads && writes ? O_RDWR : (writes ? O_WRONLY : O_RDONLY);
    return mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
}

// Windows opens a serial port with share mode 0 for one program only. The lock makes
// that hold for every program here (root included); TIOCEXCL adds the kernel's refusal
// for programs that do not lock.
bool takeExclusively(int fd)
{
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        return false;
    }
    ioctl(fd, TIOCEXCL);
    return true;
}

// The port an interrupt must give back, readable from a signal handler: the layer holds one
// port at a time.
volatile sig_atomic_t gInterruptFd = -1;
termios gInterruptFound;

void registerForInterrupt(const SerialHandle &port)
{
    if (port.hasFound && gInterruptFd < 0) {
        gInterruptFound = port.found;
        gInterruptFd = port.fd;
    }
}

// Settings first, then the exclusive claim: TIOCEXCL outlives the descriptor on a pty whose
// master stays open, and would keep a later open by anyone but root out.
void giveBack(int fd, const termios *found)
{
    if (found != nullptr) {
        tcsetattr(fd, TCSANOW, found);
    }
    ioctl(fd, TIOCNXCL);
}

} // namespace

void serialRestoreOnInterrupt(void)
{
    int fd = gInterruptFd;
    if (fd >= 0) {
        tcflush(fd, TCIOFLUSH);
        giveBack(fd, &gInterruptFound);
        close(fd);
    }
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD, HANDLE)
{
    if (dwCreationDisposition != OPEN_EXISTING) {
        return INVALID_HANDLE_VALUE;
    }
    std::string device = deviceForPortNumber(portNumberFromDevicePath(lpFileName));
    if (device.empty()) {
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(device.c_str(), openFlagsFor(dwDesiredAccess));
    if (fd < 0) {
        return INVALID_HANDLE_VALUE;
    }
    if (dwShareMode == 0 && !takeExclusively(fd)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    // Until SetCommTimeouts says otherwise, reads wait for their whole count, as on Windows.
    SerialHandle *port = new SerialHandle{fd, COMMTIMEOUTS{0, 0, 0, 0, 0}, termios{}, false};
    port->hasFound = tcgetattr(fd, &port->found) == 0;
    registerForInterrupt(*port);
    return port;
}

BOOL CloseHandle(HANDLE hObject)
{
    SerialHandle *port = serialHandleFrom(hObject);
    if (port == nullptr) {
        return FALSE;
    }
    giveBack(port->fd, port->hasFound ? &port->found : nullptr);
    if (gInterruptFd == port->fd) {
        gInterruptFd = -1;
    }
    int result = close(port->fd);
    delete port;
    return result == 0 ? TRUE : FALSE;
}

BOOL SetupComm(HANDLE hFile, DWORD, DWORD)
{
    // The kernel sizes a tty's queues itself; there is nothing to ask for.
    return serialHandleFrom(hFile) != nullptr ? TRUE : FALSE;
}

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags)
{
    SerialHandle *port = serialHandleFrom(hFile);
    if (port == nullptr) {
        return FALSE;
    }
    // Transfers never outlive their call here, so the abort flags have nothing to end.
    bool input = (dwFlags & PURGE_RXCLEAR) != 0;
    bool output = (dwFlags & PURGE_TXCLEAR) != 0;
    if (!input && !output) {
        return TRUE;
    }
    int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return tcflush(port->fd, queue) == 0 ? TRUE : FALSE;
}

BOOL EscapeCommFunction(HANDLE hFile, DWORD dwFunc)
{
    SerialHandle *port = serialHandleFrom(hFile);
    if (port == nullptr) {
        return FALSE;
    }
    int line = (dwFunc == SETDTR || dwFunc == CLRDTR) ? TIOCM_DTR : TIOCM_RTS;
    unsigned long request;
    switch (dwFunc) {
    case SETDTR:
    case SETRTS: request = TIOCMBIS; break;
    case CLRDTR:
    case CLRRTS: request = TIOCMBIC; break;
    default: return FALSE;
    }
    // A pseudo-terminal has no modem lines and refuses: the result says so, as on Windows.
    return ioctl(port->fd, request, &line) == 0 ? TRUE : FALSE;
}
