// The connection choices remembered between runs.
#include "app/kros.h"

void TForm1::restoreChoices() {}

void TForm1::rememberChoices() {}
