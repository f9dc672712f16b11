// The resource ledger of the fuzz targets. The code under test ends the
// process on a fatal input error and never frees what it allocated before;
// in a fuzz build the error unwinds to the target instead, which then runs
// the next input in the same process. The targets are linked with
// --wrap=malloc,free,fopen,fclose so that every allocation and stream the
// code under test makes while the ledger is open is recorded, and released
// afterwards whatever the outcome. Records made with new (ALLELE) are not
// seen here: the count-file target deletes them itself.
#ifndef PELTRA_FUZZ_LEDGER_H
#define PELTRA_FUZZ_LEDGER_H

// Starts recording.
void ledger_open();
// Stops recording; what was recorded stays recorded.
void ledger_close();
// Closes every recorded stream still open and frees every recorded block
// not freed yet. Pointers into them held by globals must be cleared by the
// caller.
void ledger_release();
// Number of recorded blocks and streams still live.
int ledger_live_blocks();
int ledger_live_streams();

#endif
