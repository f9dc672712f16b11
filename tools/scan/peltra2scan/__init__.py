"""The modules of peltra2-scan."""
