#include "BmpWriter.h"
