// WebPackage: not written yet.
