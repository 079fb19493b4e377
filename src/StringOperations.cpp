// StringOperations: not written yet.
