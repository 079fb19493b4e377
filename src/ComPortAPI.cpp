// ComPortAPI: not written yet.
