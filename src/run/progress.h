// The progress line of a matrix estimation: when standard error is a
// terminal, one line there, redrawn in place, shows the iteration, the
// iterations per second and the time left. Nothing is written when standard
// error is not a terminal, and standard output is never touched.
#ifndef PELTRA_RUN_PROGRESS_H
#define PELTRA_RUN_PROGRESS_H

// Called by the loop after iteration k (1 .. ITER) has finished. Draws the
// line at the first call and then at most PROGRESS_REDRAWS_PER_SECOND times
// a second; erases it before a covariance report (so a report on the same
// terminal starts on a clean line) and after the last iteration. Does
// nothing in test mode.
void show_progress(long k);

// Upper bound of redraws per second.
const int PROGRESS_REDRAWS_PER_SECOND = 4;

// The text of the line for iteration k of iter at rate iterations per second
// (rate <= 0: not known yet), without the carriage return. Written to buf
// (size bytes); returns buf.
char *progress_text(char *buf, int size, long k, long iter, double rate);

#endif
