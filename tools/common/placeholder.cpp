// Shared code of the companion tools.
