// MainFlow: not written yet.
