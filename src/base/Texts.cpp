#include "base/Texts.h"

#include "base/Ini.h"
#include "base/Language.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// The built-in English texts, sorted by key. Keys that share a text are listed each.
// The language files are keyed by these texts exactly, "||" and trailing blanks included.
const CTextEntry kEnglish[] = {
    {100, "OK"},
    {101, "Cancel"},
    {102, "Exit"},
    {110, "DVD Video Folder"},
    {111, "Change"},
    {112, "DVD Setting"},
    {113, "Video Standard"},
    {114, "NTSC"},
    {115, "PAL"},
    {116, "High (720x480)"},
    {117, "Medium (352x480)"},
    {118, "Low (352x240)"},
    {119, "High (720x576)"},
    {120, "Medium (352x576)"},
    {121, "Low (352x288)"},
    {122, "Video Resolution"},
    {123, "Aspect Ratio"},
    {124, "Full Screen (4:3)"},
    {125, "Wide Screen (16:9)"},
    {126, "Advanced Setting..."},
    {200, "Create DVDs that play on North American standard TVs"},
    {201, "Create DVDs that play on European standard TVs"},
    {202, "High resolution, best video quality."},
    {203, "Medium resolution, good video quality."},
    {204, "Low resolution (VCD), Ok video quality."},
    {205,
     "The folder that stores temporary DVD video files (VIDEO_TS, *.vob, *.ifo, *.bup) before burning them to a disc"},
    {206, "Change the DVD video folder."},
    {250, "Exit Kestrova."},
    {252, "Select Language"},
    {300, "DirectX 8.0 or greater is needed to run Kestrova."},
    {301, "Kestrova only runs on Windows 2000, XP or greater versions."},
    {302, "Kestrova only runs when the CPU supports MMX."},
    {303, "The screen resolution must be at least 1024x768 to run this feature. Do you want to continue?"},
    {400, "Progress"},
    {401, "%s||Source Position: %s||Elapsed Time: %s Remaining Time: %s"},
    {420, "Kestrova DVD Encoder"},
    {421, "Encoding %s..."},
    {422, "Warning"},
    {423, "Your DVD is ready to burn!"},
    {424, "Your DVD is ready to burn.||"},
    {425, "Do you want to burn your DVD disc now?||||"},
    {426, "Click Yes to burn the disc now.||"},
    {427, "Or click No to return, and you can burn the disc later.||"},
    {428, "A DVD Video already exists under||%s||||"},
    {429, "Do you want to replace it?"},
    {430, "Unable to write file: %s||"},
    {431, "This file is possibly being used by another program."},
    {1000, "Kestrova 4.50"},
    {1001, "Video Files (avi,wmv...) to DVD"},
    {1002, "Photo Slide Show to DVD"},
    {1003, "Digital Camcorder Direct to DVD"},
    {1004, "Disc Image or DVD Video Folder to DVD"},
    {1101, "Copy DVD video, or convert avi,wmv,asf,mpg...all kinds of video files into DVD format."},
    {1102, "Create DVD photo slide shows with background music, narration and transition effects!"},
    {1103, "Convert your digital camcorder tapes directly into DVDs!"},
    {1104, "Burn existing DVD disc images or DVD VIDEO_TS folders into DVDs!"},
    {2000, "Advanced Setting"},
    {2001, "Compress LPCM Audio"},
    {2003, "MPEG Quantize Matrix"},
    {2004, "Intra:"},
    {2005, "Inter:"},
    {2006, "MPEG Standard"},
    {2007, "Animation"},
    {2008, "Target Disc Size"},
    {2009, "Bytes"},
    {2010, "4.7G DVD+-R/RW"},
    {2011, "1.47GB MiniDVD"},
    {2012, "650MB CDR/RW"},
    {2013, "Audio Video Sync Correction, in Milliseconds"},
    {2014, "Audio Delay"},
    {2015, "Video Delay"},
    {2016, "Starting Footage Number"},
    {2017, "High quality encoding"},
    {2100, "Compress LPCM audio into MPEG Audio format and leave more disc space to the video."},
    {2101, "MPEG2 Intra Quantize Matrix, Don't touch it if you don't know what it is."},
    {2102, "MPEG2 Inter Quantize Matrix, Don't touch it if you don't know what it is."},
    {2103, "Use MPEG standard quantize matrix."},
    {2104, "Quantize matrix for high-contrast footage (cartoons,animations)."},
    {3000, "Kestrova: Convert video files to DVDs"},
    {3001, "Add Media"},
    {3002, "Play"},
    {3003, "Remove Media"},
    {3004, "Create DVD"},
    {3005, "Total DVD Time:"},
    {3006, "Video File Name"},
    {3007, "Duration"},
    {3008, "AudioType"},
    {3009, "Start"},
    {3010, "End"},
    {3011, "Size"},
    {3020, "Add Subtitles"},
    {3021, "Remove Subtitles"},
    {3022, "Subtitle File Name"},
    {3100, "Add DVD video, DivX Video, avi, wmv, MPEG video, audio or still picture files into the list."},
    {3101, "Play the selected file in your default media player."},
    {3102, "Remove the selected files from the list."},
    {3103, "Create DVD Video from the list."},
    {3120, "Add subtitle files into the list."},
    {3121, "Remove selected subtitle files from the list."},
    {3200, "Unable to open the video file of %s"},
    {3201, "Unable to determine the duration of %s"},
    {3220, "Kestrova 4.50"},
    {3221, "Kestrova found an associated subtitle file, do you want to use it?"},
    {3301, "All Video and Audio Files"},
    {3302, "Windows Media Files"},
    {3303, "DVD Video Files"},
    {3304, "DVD PhotoSlide Show Files"},
    {3305, "VideoCD DAT files"},
    {3306, "Mpeg Video"},
    {3307, "Real Video"},
    {3308, "Apple Quicktime Video"},
    {3309, "AviSynth Script"},
    {3310, "Audio Files"},
    {3311, "Photo Files"},
    {3312, "All Files"},
    {3313, "DVD Video File or ISO Disc Image File"},
    {3314, "DVD Disc Image File"},
    {3315, "Subtitle Files"},
    {3500, "Set Source Range"},
    {3501, "@"},
    {3502, "Source Length: %s"},
    {3503, "Set Start Time:"},
    {3504, "Set End Time:"},
    {3600, "Set the start time of the source to be encoded."},
    {3601, "Set the end time of the source to be encoded."},
    {4000, "Kestrova: Create Photo Slide Shows on DVDs "},
    {4001, "Add Photos"},
    {4002, "Remove"},
    {4003, "Remove All"},
    {4004, "Photo Setting"},
    {4005, "Create DVD"},
    {4006, "Save Project"},
    {4007, "Load Project"},
    {4008, "Background Music"},
    {4009, "Name"},
    {4010, "Duration"},
    {4011, "Add Music"},
    {4012, "Remove"},
    {4013, "Play"},
    {4014, "Auto Sync Photos with Music"},
    {4015, "@"},
    {4016, "@"},
    {4017, "Loading..."},
    {4018, "Photo Slide Show"},
    {4019, "Preview"},
    {4020, "Rotate"},
    {4100, "Add photos into the list."},
    {4101, "Remove the selected photos from the list."},
    {4102, "Remove all photos from the list."},
    {4103, "Set the display effect and transition effect of the selected photo."},
    {4104, "Create a DVD Slide Show from the photo list."},
    {4105, "Save the current project to disk."},
    {4106, "Load a DVD Slide Show project from disk."},
    {4107, "Add a background music file."},
    {4108, "Play the selected music file."},
    {4109, "Remove the selected music file from the list."},
    {4110,
     "Sync the photos with the background music so that the slide show play time is the same as the music play time."},
    {4111, "Preview the photo slide show."},
    {4112, "Rotate the selected photos"},
    {4200, "Total %d photos, total time: %s"},
    {4201, "Total %d background musics, total music length: "},
    {4202, "Current Photo: None"},
    {4203, "Current Photo: ShowTime %s, KenBurns Effect: %s, Transition: %s, Transition Length %s, Narration %s"},
    {4300, "Now the slide show is synced with the background music."},
    {4301, "Unable to determine the duration of %s"},
    {4302, "No photo is in the list!"},
    {4303, "You must select at least one photo in the list."},
    {4500, "Photo Effects Setting"},
    {4501, "Photo Showing Time:"},
    {4502, "Transition Time"},
    {4503, "Seconds"},
    {4504, "Ken Burns Effect (Panning/Zooming the photos)"},
    {4505, "Transition Between Photos"},
    {4506, "Narration"},
    {4507, "No"},
    {4508, "Yes, Length=%s"},
    {4509, "@"},
    {4510, "Record"},
    {4511, "Play"},
    {4512, "Stop"},
    {4513, "Erase"},
    {4514, "Apply setting to all the photos in the slideshow"},
    {4600, "Showing time of this photo."},
    {4601, "Transition time between this photo and the next photo."},
    {4602, "Add panning/zooming motion to this photo."},
    {4603, "Add transition effects between this photo and the next photo."},
    {4604, "Start recording narration for this photo from the microphone."},
    {4605, "Stop recording."},
    {4606, "Play the recorded narration for this photo."},
    {4607, "Stop playing."},
    {4608, "Erase the recorded narration."},
    {5000, "Kestrova: Camcorder Direct to DVD"},
    {5001, "VCR Control"},
    {5002, "Play"},
    {5003, "Pause"},
    {5004, "Stop"},
    {5005, "Fast Forward"},
    {5006, "Rewind"},
    {5007, "Fast Play Fwd"},
    {5008, "Fast Play Rev"},
    {5009, "Capture to DVD"},
    {5010, "Capture"},
    {5011, "Play and Capture"},
    {5012, "Footage No."},
    {5013, "Estimated DVD Length"},
    {5014, "Seconds"},
    {5015, "Create DVD"},
    {5100, "Start capturing video from the camcorder."},
    {5101, "Play the tape in the camcorder and start capturing video."},
    {5102, "Create DVDs from the captured video"},
    {5103, "Play the tape in the camcorder."},
    {5104, "Pause the tape in the camcorder."},
    {5105, "Stop playing the tape in the camcorder."},
    {5106, "Fast forward the tape in the camcorder."},
    {5107, "Rewind the tape in the camcorder."},
    {5108, "Fastest forward and play."},
    {5109, "Fastest reverse and play."},
    {5200, "Unable to initialize DV device...||"},
    {5201, "Please first, turn on your camcorder, switch it to VCR mode or camera mode,||"},
    {5202, "then, connect it to the PC via IEEE1394 port,||"},
    {5203, "and then, run Kestrova again."},
    {5204, "The Camcorder is not in the VCR mode, VCR control disabled."},
    {5205, "No tape is found in the camcorder,VCR control disabled."},
    {6000, "Kestrova: Burn DVD Video folder or ISO disc image to DVDs"},
    {6001, "Source"},
    {6002, "DVD Disc image file: %s"},
    {6003, "DVD Video files at %s"},
    {6004, "Disc Label:"},
    {6005, "Data Size:"},
    {6006, "%s, %3.1f%% of a 4.7G DVD Disc"},
    {6007, "Destination"},
    {6008, "Burn Proof"},
    {6009, "Write Speed"},
    {6010, "Number of copies"},
    {6011, "Test Write"},
    {6012, "Burn!"},
    {6100, "The disc volume label of the DVD"},
    {6102, "Prevent Buffer-UnderRun errors when burning your disc."},
    {6103, "Select DVD burner's writing speed."},
    {6104, "Simulate an actual burn without writing the blank disc. !!! DVD+R discs don't support Test-Burn mode."},
    {6105, "Start burning the DVD disc."},
    {6200, "This is a recording test only, the data will not be written on your disc.||"},
    {6201,
     "However, DVD+R or DVD+RW discs do not support test mode, which ||means data will still be written on DVD+R/RW "
     "discs even if you have ||chosen Test Writing.||||"},
    {6202, "Click OK to continue the test writing, Cancel to abort."},
    {6203, "Test Write Mode"},
    {6204, "Warning"},
    {6205, "The source data size is too big to fit in a 4.7GB DVD disc."},
    {6206, "Please insert a blank DVD-R/RW or DVD+R/RW disc!"},
    {6207, "Cannot retrieve disk information ||or the disc is not blank."},
    {6208, "Please insert another blank disc."},
    {6300, "Create DVD movie disc"},
    {6301, "Writing DVD..."},
    {6302, "Finalizing..."},
    {6303, "Done!"},
    {7001, "Preview"},
    {7002, "Close"},
    {8001, "Rotate"},
    {8002, "Rotate the Selected Photos:"},
    {8003, "90 Degree Clockwise"},
    {8004, "180 Degree"},
    {8005, "90 Degree Counter Clockwise"},
};

}  // namespace

const CTextEntry* EnglishTextTable(size_t& count)
{
    count = sizeof(kEnglish) / sizeof(kEnglish[0]);
    return kEnglish;
}

const char* EnglishText(int key)
{
    const CTextEntry* end = kEnglish + sizeof(kEnglish) / sizeof(kEnglish[0]);
    const CTextEntry* it = std::lower_bound(kEnglish, end, key, [](const CTextEntry& e, int k) { return e.key < k; });
    return it != end && it->key == key ? it->english : nullptr;
}

std::string ExpandLineBreaks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '|' && i + 1 < text.size() && text[i + 1] == '|') {
            out += "\n\r";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string FormatText(const std::string& format, const std::vector<std::string>& args)
{
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Flags, width, precision and length, then the conversion letter.
        size_t j = i + 1;
        while (j < format.size() && std::strchr("-+ #0", format[j])) ++j;
        while (j < format.size() && (std::isdigit(static_cast<unsigned char>(format[j])) || format[j] == '.')) ++j;
        while (j < format.size() && std::strchr("hlLqjzt", format[j])) ++j;
        if (j < format.size() && std::strchr("diouxXeEfFgGaAcsp", format[j])) {
            if (next < args.size()) out += args[next];
            ++next;
            i = j;
        } else {
            out += '%';  // not a conversion: kept as written
        }
    }
    return out;
}

std::string Text(int key)
{
    const char* english = EnglishText(key);
    std::string text = english ? english : "....";
    std::string file;
    if (english && LanguageTranslationFile(file)) {
        // Translations are looked up in the same 2,048-character buffer size the files
        // were made for; a blank translation means "not translated yet".
        std::string translated = IniRead("String", text, text, file, 2047);
        if (translated.find_first_not_of(" \t") != std::string::npos) text = translated;
    }
    return ExpandLineBreaks(text);
}
