"""What the Python tools share: their options, the checking of their input
files, the writing of their outputs and their messages."""
