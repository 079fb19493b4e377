// The ports this machine names, on Windows: the values under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// the list serial tools read ("COM5", "COM41", ...).
#include <windows.h>

#include "SitePorts.h"

std::vector<int> namedPortNumbers(void)
{
    std::vector<int> numbers;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return numbers;
    }
    for (DWORD index = 0;; index++) {
        char name[256], data[64];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        const LONG result = RegEnumValueA(key, index, name, &nameSize, NULL, &type, (LPBYTE)data, &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS && type == REG_SZ) {
            data[dataSize] = '\0';
            const int number = comNumber(data);
            if (number > 0) {
                numbers.push_back(number);
            }
        }
    }
    RegCloseKey(key);
    return numbers;
}
