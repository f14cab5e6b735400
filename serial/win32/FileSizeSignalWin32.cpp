// Windows has no file size signal: a write past a quota simply fails.
#include "FileSizeSignal.h"

void IgnoreFileSizeSignal() {}
