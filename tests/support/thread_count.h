// The number of threads this process runs now, to see that finished work left none behind.
#pragma once

// -1 when it cannot be told.
int processThreadCount();
