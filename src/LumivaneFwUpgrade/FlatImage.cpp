// FlatImage: not written yet.
