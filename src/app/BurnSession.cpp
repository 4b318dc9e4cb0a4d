#include "app/BurnSession.h"

#include "recorder/Scsiif.h"
#include "recorder/TransportChain.h"
#include "recorder/VirtualRecorder.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

CBurnSession::CBurnSession(CUiPort& ui_) : ui(ui_) {}

CBurnSession::~CBurnSession() = default;

bool CBurnSession::Open(const std::string& virtualTarget, std::string& error, const std::string& root, bool withDrives)
{
    burner.reset();
    virtualRecorder = nullptr;
    virtualImage.clear();
    if (virtualTarget.empty()) {
        burner = std::make_unique<CBurner>(std::make_unique<CScsiif>(root), ui);
        burner->Enumerate();
        return true;
    }
    std::string image;
    int profile = 0;
    CVirtualRecorder::SFaults faults;
    if (!CVirtualRecorder::ParseTarget(virtualTarget, image, profile, faults, error)) return false;
    // The image is written like a disc, in place: only a regular file (or a new one).
    struct stat st {};
    if (::stat(image.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = image + ": not a regular file; the virtual recorder needs a file to record to";
        return false;
    }
    const std::string folder = image.find('/') == std::string::npos ? "." : image.substr(0, image.rfind('/') + 1);
    if (::access(folder.c_str(), W_OK) != 0) {
        error = image + ": the virtual recorder cannot record there (" + std::strerror(errno) + ")";
        return false;
    }
    auto recorder = std::make_unique<CVirtualRecorder>(image, profile, faults);
    virtualRecorder = recorder.get();
    virtualImage = image;
    if (withDrives) {
        auto chain = std::make_unique<CTransportChain>();
        chain->Add(std::make_unique<CScsiif>(root));
        chain->Add(std::move(recorder));
        burner = std::make_unique<CBurner>(std::move(chain), ui);
    } else {
        burner = std::make_unique<CBurner>(std::move(recorder), ui);
    }
    burner->Enumerate();
    return true;
}

std::string CBurnSession::DevicePath(int index) const
{
    if (!burner || index < 0 || index >= burner->EntryCount()) return "";
    return const_cast<CBurner&>(*burner).Transport().DevicePath(burner->Entry(index).slot);
}

std::string CBurnSession::VirtualImageError() const { return virtualRecorder ? virtualRecorder->ImageError() : ""; }

std::string CBurnSession::WriteCommandLog()
{
    if (!virtualRecorder) return "";
    const std::string path = virtualImage + ".log";
    return virtualRecorder->WriteLog(path) ? path : "";
}
