// The two rules that turn a COM port number into a device path.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Port number n of the Win32 device path "\\.\COMn", or 0 when the path is not of that form.
int portNumberFromDevicePath(const char *path);

// The device that port number n names, or an empty text when there is none.
// When the ports directory ($XDG_CONFIG_HOME/LumivaneFwUpgrade/ports/, by default
// ~/.config/LumivaneFwUpgrade/ports/) exists, its entry "comN" alone names port n;
// otherwise port n is the n-th serial device present (ttyUSB*, ttyACM*, ttyS*). A directory
// that cannot be examined names no port, and says so once on standard output.
std::string deviceForPortNumber(int n);

// The same with the ports directory and the list of the machine's serial devices given.
std::string deviceForPortNumber(int n, const std::string &directory,
                                const std::function<std::vector<std::string>()> &serialDevices);

// The port numbers named, by the same two rules: the ports directory's "comN" entries (any N from
// 1), or 1 to the number of serial devices present.
std::vector<int> portNumbersNamed();
std::vector<int> portNumbersNamed(const std::string &directory,
                                  const std::function<std::vector<std::string>()> &serialDevices);
