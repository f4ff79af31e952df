# Windows and messages (defined by the window work).
