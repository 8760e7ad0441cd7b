#include "Text3D.h"
