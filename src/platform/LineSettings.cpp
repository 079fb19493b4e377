// Line settings (DCB) and time-outs (COMMTIMEOUTS) applied to an open port.
#include <sys/ioctl.h>
#include <termios.h>

#include <cstdlib>

#include "CustomBaudRate.h"
#include "SerialHandle.h"

namespace {

struct StandardRate {
    DWORD rate;
    speed_t code;
};

const StandardRate STANDARD_RATES[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

const StandardRate *standardRate(DWORD rate)
{
    for (const StandardRate &candidate : STANDARD_RATES) {
        if (candidate.rate == rate) {
            return &candidate;
        }
    }
    return nullptr;
}

bool characterFormat(const DCB &dcb, termios &tio)
{
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) {
        return false;
    }
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= sizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case NOPARITY: break;
    case ODDPARITY: tio.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio.c_cflag |= PARENB; break;
    default: return false;
    }
    switch (dcb.StopBits) {
    case ONESTOPBIT: break;
    case TWOSTOPBITS: tio.c_cflag |= CSTOPB; break;
    default: return false;
    }
    return true;
}

void flowControl(const DCB &dcb, termios &tio)
{
    tio.c_cflag &= ~CRTSCTS;
    if (dcb.fOutxCtsFlow) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_iflag &= ~(IXON | IXOFF | INPCK);
    if (dcb.fOutX) {
        tio.c_iflag |= IXON;
    }
    if (dcb.fInX) {
        tio.c_iflag |= IXOFF;
    }
    if (dcb.fParity) {
        tio.c_iflag |= INPCK;
    }
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

// A driver that cannot make a rate may settle on a near one; a UART tolerates about 3%.
bool rateIsClose(uint32_t actual, DWORD wanted)
{
    return actual != 0 && std::llabs(static_cast<long long>(actual) - wanted) * 100 <= 3LL * wanted;
}

bool applyBaudRate(int fd, termios &tio, DWORD rate)
{
    const StandardRate *standard = standardRate(rate);
    if (standard != nullptr) {
        cfsetispeed(&tio, standard->code);
        cfsetospeed(&tio, standard->code);
        termios applied;
        return tcsetattr(fd, TCSANOW, &tio) == 0 && tcgetattr(fd, &applied) == 0 &&
               cfgetospeed(&applied) == standard->code;
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0 && setCustomBaudRate(fd, rate) &&
           rateIsClose(customBaudRate(fd), rate);
}

// Modem lines: a pseudo-terminal has none and refuses, which Windows' serial drivers
// never make a reason to fail the whole call.
void modemLine(int fd, int line, bool on)
{
    ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

} // namespace

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB)
{
    SerialHandle *port = serialHandleFrom(hFile);
    if (port == nullptr || lpDCB == nullptr || lpDCB->BaudRate == 0) {
        return FALSE;
    }
    termios tio;
    if (tcgetattr(port->fd, &tio) != 0) {
        return FALSE;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~HUPCL;
    // Reads wait through poll() with their own deadlines, never through VMIN/VTIME.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (!characterFormat(*lpDCB, tio)) {
        return FALSE;
    }
    flowControl(*lpDCB, tio);
    if (!applyBaudRate(port->fd, tio, lpDCB->BaudRate)) {
        return FALSE;
    }
    if (lpDCB->fDtrControl != DTR_CONTROL_HANDSHAKE) {
        modemLine(port->fd, TIOCM_DTR, lpDCB->fDtrControl == DTR_CONTROL_ENABLE);
    }
    if (lpDCB->fRtsControl == RTS_CONTROL_ENABLE || lpDCB->fRtsControl == RTS_CONTROL_DISABLE) {
        modemLine(port->fd, TIOCM_RTS, lpDCB->fRtsControl == RTS_CONTROL_ENABLE);
    }
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts)
{
    SerialHandle *port = serialHandleFrom(hFile);
    if (port == nullptr || lpCommTimeouts == nullptr) {
        return FALSE;
    }
    port->timeouts = *lpCommTimeouts;
    return TRUE;
}
