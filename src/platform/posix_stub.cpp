// Placeholder until the POSIX serial layer lands.
