// The tests' one door into the model's private workspace and kernels.
#pragma once

#include "model/Serevan.h"

struct CSerevanProbe {
    // Passes use the direct reference kernels (on) or the fast ones (off).
    static void UseDirectKernels(CSerevan& m, bool on) { m.m_work.directKernels = on; }

    static void PrepareEmissionTables(CSerevan& m) { m.PrepareEmissionTables(); }
    static void PrepareTransitionTables(CSerevan& m, int nStates) { m.PrepareTransitionTables(nStates); }
    static int NonChangeRun(const CSerevan& m, const ALIGNNODE* path, int t, int limit)
    {
        return m.NonChangeRun(path, t, limit);
    }
    static void NodeEmissions(CSerevan& m, double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode,
                              int run)
    {
        m.NodeEmissions(emis, table, path, t, g, mode, run);
    }
    static double FastTransition(CSerevan& m, const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit,
                                 int nStates)
    {
        return m.FastTransition(path, fwd, t, u, c, curBit, nStates);
    }
    static void CalLogPrPosOnPaths(CSerevan& m, double** table, int g, const ALIGNNODE* const* paths, int nPath)
    {
        m.CalLogPrPosOnPaths(table, g, paths, nPath);
    }
    static int FastCondStatePr(CSerevan& m, const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit,
                               double* out, int nStates)
    {
        return m.FastCondStatePr(path, fwd, t, u, c, curBit, out, nStates);
    }
};
