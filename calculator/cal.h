// The calculator dialogue shared by calculator and solocalc.
#pragma once

// The whole dialogue, on the calling thread: calculator runs it on its
// worker thread, solocalc on the main thread.
void cal();
