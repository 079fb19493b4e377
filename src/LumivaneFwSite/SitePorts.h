// The ports the site program reaches: COM1 to COM32 and every other serial port the machine names,
// or the operator's own list of COM ports and network ports (rfc2217://HOST:PORT).
#pragma once

#include <string>
#include <vector>

// Ports numbered beyond this are no COM port Windows hands out.
const int SITE_HIGHEST_PORT = 256;

// COM1 to COM32 and every other COM port the machine names (on Windows the SERIALCOMM list, on
// Linux the ports folder's comN entries, or the machine's serial devices), in number order.
std::vector<std::string> machinePorts(void);
// The machine's own named COM numbers, any order (the platform's part of machinePorts).
std::vector<int> namedPortNumbers(void);

// "COM3,COM5-COM8,rfc2217://rack4:4001": each port once, in the order given; false with the
// item named in `error` for a malformed item or a number out of range.
bool parsePortList(const std::string &list, std::vector<std::string> *ports, std::string *error);
// A port's number when it is named "COMn", else 0.
int comNumber(const std::string &port);
// The port in a file name safe on Windows and Linux: "COM3", "rfc2217_rack4_4001".
std::string portFileName(const std::string &port);
