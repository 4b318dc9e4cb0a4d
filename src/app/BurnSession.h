// The recorders a burn can use: the machine's optical drives (through sysfs and SG_IO)
// or one virtual recorder that records to an image file, listed once. The command line
// and the desktop program open one session and hand its recorder list to the burn job.
#pragma once

#include "base/UiPort.h"
#include "recorder/Burner.h"

#include <memory>
#include <string>
#include <vector>

class CVirtualRecorder;

class CBurnSession {
public:
    // Messages of the recorder driver go to `ui`, which must outlive the session.
    explicit CBurnSession(CUiPort& ui = Ui());
    ~CBurnSession();
    CBurnSession(const CBurnSession&) = delete;
    CBurnSession& operator=(const CBurnSession&) = delete;

    // Lists the recorders: the virtual recorder described by `virtualTarget`
    // ("IMAGE[:PROFILE[:FAULT...]]") when it is not empty, otherwise the optical drives
    // under `root` ("" for the running system); with `withDrives` the drives come first
    // and the virtual recorder follows them as the last entry. False with `error` set
    // when the target cannot be read or its image is not a regular file.
    bool Open(const std::string& virtualTarget, std::string& error, const std::string& root = "",
              bool withDrives = false);

    CBurner& Burner() { return *burner; }
    // Devices seen but not listed, one line each.
    const std::vector<std::string>& Notes() const { return burner->Notes(); }
    // The device path of recorder entry `index`.
    std::string DevicePath(int index) const;

    // The virtual recorder, nullptr when the session uses real drives.
    CVirtualRecorder* Virtual() { return virtualRecorder; }
    // The virtual recorder's image file ("" for real drives).
    const std::string& VirtualImage() const { return virtualImage; }
    // Why the virtual recorder could not write its image ("" when it could).
    std::string VirtualImageError() const;
    // Writes the virtual recorder's command log to IMAGE.log; the path written, or ""
    // when there is none or it could not be written.
    std::string WriteCommandLog();

private:
    CUiPort& ui;
    std::unique_ptr<CBurner> burner;
    CVirtualRecorder* virtualRecorder = nullptr;
    std::string virtualImage;
};
