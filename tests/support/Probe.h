// The tests' one door into the model's private workspace and kernels.
#pragma once

#include "model/Serevan.h"

struct CSerevanProbe {
    // Passes use the direct reference kernels (on) or the fast ones (off).
    static void UseDirectKernels(CSerevan& m, bool on) { m.m_work.directKernels = on; }

    static void CalLogPrPosOnPaths(CSerevan& m, double** table, int g, const ALIGNNODE* const* paths, int nPath)
    {
        m.CalLogPrPosOnPaths(table, g, paths, nPath);
    }
};
