// Every program of the project calls this first thing. A file size limit (ulimit -f) would otherwise
// end the program with SIGXFSZ at the write that crosses it, in the middle of programming the module;
// ignored, that write fails like any other (the traffic log reports it and the exchange goes on).
#pragma once

void IgnoreFileSizeSignal();
