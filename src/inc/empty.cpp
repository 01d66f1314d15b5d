// Body of a module that has none yet.
