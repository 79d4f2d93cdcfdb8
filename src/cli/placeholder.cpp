// Keeps the command library non-empty while the client grows.
