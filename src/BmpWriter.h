#ifndef BMPWRITER_H
#define BMPWRITER_H
#endif
