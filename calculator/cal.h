// The calculator dialogue shared by calculator and solocalc.
#pragma once

// Program-wide operands and result of the one calculation; only cal uses them.
extern int n1;
extern int n2;
extern int n3;

// The dialogue, on the calling thread.
void cal();
// The same dialogue as a thread's start routine: the argument is null and
// unused, the result null.
void *cal(void *);
