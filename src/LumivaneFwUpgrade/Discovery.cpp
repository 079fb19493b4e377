// Discovery: not written yet.
