// Run control: the whole run of peltra2 from the command line to the exit.
#ifndef PELTRA_RUN_RUN_H
#define PELTRA_RUN_RUN_H

// Runs peltra2 with the process's arguments; returns the exit status of a
// completed run (fatal conditions end the process themselves).
int run_main(int argc, char **argv);

#endif
