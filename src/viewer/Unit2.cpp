#include "viewer/Unit2.h"
