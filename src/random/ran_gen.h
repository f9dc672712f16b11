// Shuffled uniform generator: Park-Miller minimal standard (multiplier 16807,
// modulus 2^31 - 1) behind a 32-entry Bays-Durham shuffle table. Drives every
// accept/reject decision. State is process-wide and unguarded: calls must not
// overlap.
#ifndef PELTRA_RANDOM_RAN_GEN_H
#define PELTRA_RANDOM_RAN_GEN_H

// Returns a uniform deviate in (0, 0.99999988]. *idum is the caller's state
// word, advanced in place; a value <= 0 (or the first call) seeds the table.
float ran1(long *idum);

#endif
