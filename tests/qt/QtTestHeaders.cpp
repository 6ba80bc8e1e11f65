// Only there to give the Qt tests' precompiled header a target of its own.
