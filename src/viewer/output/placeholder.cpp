// Replaced as the subsystem's own sources arrive.
