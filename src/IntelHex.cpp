// IntelHex: not written yet.
