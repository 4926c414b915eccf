#include "store/dispatch.h"
