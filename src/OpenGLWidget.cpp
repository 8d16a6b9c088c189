#include "OpenGLWidget.h"
