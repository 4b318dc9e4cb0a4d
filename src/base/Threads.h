// How many threads the coding chain may keep busy: the rendering thread ahead of the
// video encoder, the encoder's own slice workers and the audio encoding thread all ask
// here, so that one setting makes the whole chain serial (for comparisons and
// debugging) or wider.
#pragma once

// The number of threads to use: KESTROVA_THREADS when it holds a whole number from
// 1 to 64, otherwise the processors this process may run on (at least 1). With 1,
// every stage runs on the calling thread as a plain serial loop.
int WorkerThreads();
