#include "cli/node_names.h"
