// Serevan: finds cis-regulatory modules and their motifs in orthologous DNA sequences.
#include "app/PathModuleU.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
#if defined(__GLIBC__)
    // Alignment tables of tens of megabytes come and go group by group. Mapped on their own,
    // they go back to the system when freed, so the peak memory is what is live at once
    // rather than what the heap once grew to.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    return SerevanMain(argc, argv);
}
