#ifndef YUVSNAP_RUN_H
#define YUVSNAP_RUN_H

struct TOptions;

// Opens the stream, judges the picture options (ResolvePicture) and writes the frames asked for (or
// describes the stream, with --info); returns the exit code. The file names written go to standard
// output, one a line, each once its file is complete; messages go to standard error.
int Run(TOptions Options);

#endif // YUVSNAP_RUN_H
