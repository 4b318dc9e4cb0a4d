// The values behind the "Advanced Setting" dialog, without any window: audio
// compression, target disc size with its three presets, the two quantiser matrix texts
// with their two presets, the audio/video delays and the starting footage number. The
// dialog shows these, edits them and calls Accept on OK; Cancel simply drops the object.
#pragma once

#include "base/DVDParams.h"

#include <string>

// What a job window keeps from one advanced-settings dialog to the next.
struct CAdvJobChoices {
    bool compressAudio = true;
    int startingFootage = 1;
    bool highQuality = false;  // the video encoder's high-quality mode
};

class CAdvSetupDlg {
public:
    // The controls, for their label and tool-tip texts.
    enum class Control {
        Caption,
        CompressAudio,
        MatrixGroup,
        Intra,
        Inter,
        MpegStandard,
        Animation,
        DiscSize,
        Bytes,
        Dvd47,
        MiniDvd,
        Cd650,
        SyncGroup,
        AudioDelay,
        VideoDelay,
        StartingFootage,
        HighQuality
    };

    // Opens with the fixed defaults (not the values last chosen). `footageEnabled`
    // tells whether the opening window uses "Starting Footage Number".
    explicit CAdvSetupDlg(bool footageEnabled = true);

    // The video window pre-fills the two delays with its current values (seconds).
    void PrefillDelays(double audioDelaySeconds, double videoDelaySeconds);

    // The three disc-size buttons: "4700000000", "1470000000", "681984000".
    void PresetDvd() { discSizeText = "4700000000"; }
    void PresetMiniDvd() { discSizeText = "1470000000"; }
    void PresetCd() { discSizeText = "681984000"; }
    // "MPEG Standard": both matrix texts become "Default".
    void PresetMpegStandard();
    // "Animation": the intra text becomes the Animation matrix, the inter text "Default".
    void PresetAnimation();

    // OK: copies the values into `params` (delays in seconds, the high-quality choice)
    // and keeps audio compression, the high-quality choice and the starting footage
    // number (1 when outside 1..99; untouched when the field is disabled) in `job`.
    void Accept(CDVDParams& params, CAdvJobChoices& job) const;

    // Hands what Accept gave to a DVD job (slide show, video files or camcorder): audio
    // compression, high quality, disc size and matrices, and the starting footage and
    // the delays when the job has them.
    template <class Job>
    static void ApplyToJob(const CDVDParams& params, const CAdvJobChoices& choices, Job& job)
    {
        job.compressAudio = choices.compressAudio ? 1 : 0;
        job.highQuality = choices.highQuality;
        job.discSizeText = params.discSizeText;
        job.intraMatrixText = params.intraMatrixText;
        job.interMatrixText = params.interMatrixText;
        if constexpr (requires { job.startingFootage; }) job.startingFootage = choices.startingFootage;
        if constexpr (requires { job.audioDelay; }) {
            job.audioDelay = params.audioDelay;
            job.videoDelay = params.videoDelay;
        }
    }

    // The message key of a control's label, and of its tool tip (0 when it has none).
    static int LabelKey(Control control);
    static int TooltipKey(Control control);

    bool compressAudio = true;
    std::string discSizeText = "4700000000";
    std::string intraMatrixText = "Default";
    std::string interMatrixText;
    int audioDelayMs = 0;
    int videoDelayMs = 0;
    int startingFootage = 1;
    bool footageEnabled = true;
    // "High quality encoding": off by default, never stored in the project or the INI file.
    bool highQuality = false;
};
