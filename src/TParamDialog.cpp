#include "TParamDialog.h"
