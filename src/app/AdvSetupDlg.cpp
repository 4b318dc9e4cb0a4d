#include "app/AdvSetupDlg.h"

#include <cmath>

CAdvSetupDlg::CAdvSetupDlg(bool footageEnabled) : interMatrixText(kDefaultInterMatrix), footageEnabled(footageEnabled)
{}

void CAdvSetupDlg::PrefillDelays(double audioDelaySeconds, double videoDelaySeconds)
{
    audioDelayMs = static_cast<int>(std::lround(audioDelaySeconds * 1000.0));
    videoDelayMs = static_cast<int>(std::lround(videoDelaySeconds * 1000.0));
}

void CAdvSetupDlg::PresetMpegStandard()
{
    intraMatrixText = "Default";
    interMatrixText = "Default";
}

void CAdvSetupDlg::PresetAnimation()
{
    intraMatrixText = kAnimationIntraMatrix;
    interMatrixText = "Default";
}

void CAdvSetupDlg::Accept(CDVDParams& params, CAdvJobChoices& job) const
{
    params.compressAudio = compressAudio ? 1 : 0;
    params.discSizeText = discSizeText;
    params.intraMatrixText = intraMatrixText;
    params.interMatrixText = interMatrixText;
    params.audioDelay = audioDelayMs / 1000.0;
    params.videoDelay = videoDelayMs / 1000.0;
    params.highQuality = highQuality ? 1 : 0;
    job.compressAudio = compressAudio;
    job.highQuality = highQuality;
    if (footageEnabled) job.startingFootage = startingFootage >= 1 && startingFootage <= 99 ? startingFootage : 1;
}

int CAdvSetupDlg::LabelKey(Control control)
{
    switch (control) {
    case Control::Caption:
        return 2000;
    case Control::CompressAudio:
        return 2001;
    case Control::MatrixGroup:
        return 2003;
    case Control::Intra:
        return 2004;
    case Control::Inter:
        return 2005;
    case Control::MpegStandard:
        return 2006;
    case Control::Animation:
        return 2007;
    case Control::DiscSize:
        return 2008;
    case Control::Bytes:
        return 2009;
    case Control::Dvd47:
        return 2010;
    case Control::MiniDvd:
        return 2011;
    case Control::Cd650:
        return 2012;
    case Control::SyncGroup:
        return 2013;
    case Control::AudioDelay:
        return 2014;
    case Control::VideoDelay:
        return 2015;
    case Control::StartingFootage:
        return 2016;
    case Control::HighQuality:
        return 2017;
    }
    return 0;
}

int CAdvSetupDlg::TooltipKey(Control control)
{
    switch (control) {
    case Control::CompressAudio:
        return 2100;
    case Control::Intra:
        return 2101;
    case Control::Inter:
        return 2102;
    case Control::MpegStandard:
        return 2103;
    case Control::Animation:
        return 2104;
    default:
        return 0;
    }
}
