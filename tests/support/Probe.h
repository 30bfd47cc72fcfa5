// The tests' one door into the model: its grouped state, its workspace and the moves and
// kernels it keeps private. Nothing else outside model/ reads a model field.
#pragma once

#include <utility>

#include "model/Serevan.h"

struct CSerevanProbe {
    // -- state
    static ModelSettings& Settings(CSerevan& m) { return m.m_set; }
    static const ModelSettings& Settings(const CSerevan& m) { return m.m_set; }
    static ModelParameters& Par(CSerevan& m) { return m.m_par; }
    static const ModelParameters& Par(const CSerevan& m) { return m.m_par; }
    static SweepCounts& Sweep(CSerevan& m) { return m.m_sweep; }
    static const SweepCounts& Sweep(const CSerevan& m) { return m.m_sweep; }
    static PosteriorSums& Post(CSerevan& m) { return m.m_post; }
    static const PosteriorSums& Post(const CSerevan& m) { return m.m_post; }
    static RunResults& Res(CSerevan& m) { return m.m_res; }
    static std::vector<int>& CurAlign(CSerevan& m) { return m.m_pCurAlign; }
    static const SpreadState& Spread(const CSerevan& m) { return m.m_spread; }
    static const WordChoice& Choice(const CSerevan& m) { return m.m_choice; }
    static bool& SitesDefined(CSerevan& m) { return m.m_bSitesDefined; }

    // Passes use the direct reference kernels (on) or the fast ones (off).
    static void UseDirectKernels(CSerevan& m, bool on) { m.m_work.directKernels = on; }

// -- the moves and kernels, called with the model first: CSerevanProbe::Name(m, args...)
#define SEREVAN_PROBE_CALL(name)                            \
    template <class... Args>                                \
    static decltype(auto) name(CSerevan& m, Args&&... args) \
    {                                                       \
        return m.name(std::forward<Args>(args)...);         \
    }
    SEREVAN_PROBE_CALL(MSBuildBackground)
    SEREVAN_PROBE_CALL(ClearSuffStat)
    SEREVAN_PROBE_CALL(CalMotifPhi)
    SEREVAN_PROBE_CALL(RenewWdParameters)
    SEREVAN_PROBE_CALL(InitialParameter)
    SEREVAN_PROBE_CALL(CalLogPrPos)
    SEREVAN_PROBE_CALL(CalLogPrPosOnPaths)
    SEREVAN_PROBE_CALL(CalMotifEmission)
    SEREVAN_PROBE_CALL(CalBgLikelihood)
    SEREVAN_PROBE_CALL(PathForwardSummation)
    SEREVAN_PROBE_CALL(PathBackwardSample)
    SEREVAN_PROBE_CALL(SampleMotifAncestor)
    SEREVAN_PROBE_CALL(SampleBgAncestor)
    SEREVAN_PROBE_CALL(UpdateParameter)
    SEREVAN_PROBE_CALL(CollapseParameter)
    SEREVAN_PROBE_CALL(UpdateWidth)
    SEREVAN_PROBE_CALL(SampleSeqGivenPath)
    SEREVAN_PROBE_CALL(SampleSeqPathMH)
    SEREVAN_PROBE_CALL(SampleGroupSpread)
    SEREVAN_PROBE_CALL(FindOptPath)
    SEREVAN_PROBE_CALL(GenAlignGivenPhi)
    SEREVAN_PROBE_CALL(DefineMotifSites)
    SEREVAN_PROBE_CALL(DefineScanMotifSites)
    SEREVAN_PROBE_CALL(ConstructSiteLink)
    SEREVAN_PROBE_CALL(DetermineModule)
    SEREVAN_PROBE_CALL(ConservePos)
    SEREVAN_PROBE_CALL(OutputDetailMod)
    SEREVAN_PROBE_CALL(EmptySums)
    SEREVAN_PROBE_CALL(ChooseStartWords)
    SEREVAN_PROBE_CALL(SelectionLogLik)
#undef SEREVAN_PROBE_CALL
};
