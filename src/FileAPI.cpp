// FileAPI: not written yet.
