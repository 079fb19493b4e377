// Encoder: not written yet.
