// Serevan: finds cis-regulatory modules and their motifs in orthologous DNA sequences.
#include "app/PathModuleU.h"

int main(int argc, char** argv) { return SerevanMain(argc, argv); }
