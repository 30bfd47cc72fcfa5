// The four mode drivers. Each returns 1 when done and -1 after an input error (reported by
// a one-line message on standard output).
#pragma once

#include "app/InputParameter.h"

int RunModuleSample(INPUTPARAMETER* param, int nSeq);
int RunModuleScan(INPUTPARAMETER* param);
int RunModuleScanUnalign(INPUTPARAMETER* param, int nSeq);
int RunMotifSelection(INPUTPARAMETER* param, int nSeq);
