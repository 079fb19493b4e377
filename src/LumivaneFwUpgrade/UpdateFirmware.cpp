// UpdateFirmware: not written yet.
