// The mode drivers.
#include "app/Drivers.h"

int RunModuleSample(INPUTPARAMETER*, int) { return 1; }
int RunModuleScan(INPUTPARAMETER*) { return 1; }
int RunModuleScanUnalign(INPUTPARAMETER*, int) { return 1; }
int RunMotifSelection(INPUTPARAMETER*, int) { return 1; }
