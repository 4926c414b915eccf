#include "cli/table.h"
