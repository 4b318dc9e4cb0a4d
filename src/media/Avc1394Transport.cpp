#include "media/Avc1394Transport.h"

#include <libavc1394/avc1394.h>
#include <libavc1394/avc1394_vcr.h>
#include <libavc1394/rom1394.h>

#include <dlfcn.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// The functions of libraw1394, librom1394 and libavc1394 the transport calls, resolved
// once per run. Types come from the libraries' own headers.
struct SAvcLibrary {
    decltype(&::raw1394_new_handle) newHandle = nullptr;
    decltype(&::raw1394_destroy_handle) destroyHandle = nullptr;
    decltype(&::raw1394_get_port_info) portInfo = nullptr;
    decltype(&::raw1394_set_port) setPort = nullptr;
    decltype(&::raw1394_get_nodecount) nodeCount = nullptr;
    decltype(&::rom1394_get_guid) guid = nullptr;
    decltype(&::rom1394_get_directory) directory = nullptr;
    decltype(&::rom1394_get_node_type) nodeType = nullptr;
    decltype(&::rom1394_free_directory) freeDirectory = nullptr;
    decltype(&::avc1394_check_subunit_type) subunit = nullptr;
    decltype(&::avc1394_vcr_status) status = nullptr;
    decltype(&::avc1394_vcr_play) play = nullptr;
    decltype(&::avc1394_vcr_stop) stop = nullptr;
    decltype(&::avc1394_vcr_pause) pause = nullptr;
    decltype(&::avc1394_vcr_forward) forward = nullptr;
    decltype(&::avc1394_vcr_rewind) rewind = nullptr;
    decltype(&::avc1394_vcr_trick_play) trickPlay = nullptr;
    std::string error;
};

template <typename T>
bool Resolve(void* library, const char* name, T& pointer, std::string& error)
{
    pointer = reinterpret_cast<T>(dlsym(library, name));
    if (!pointer && error.empty()) error = std::string("the IEEE 1394 libraries have no ") + name;
    return pointer != nullptr;
}

const SAvcLibrary& Library()
{
    static SAvcLibrary lib;
    static std::once_flag once;
    std::call_once(once, [] {
        void* raw = dlopen("libraw1394.so.11", RTLD_NOW | RTLD_GLOBAL);
        void* rom = raw ? dlopen("librom1394.so.0", RTLD_NOW | RTLD_GLOBAL) : nullptr;
        void* avc = rom ? dlopen("libavc1394.so.0", RTLD_NOW | RTLD_GLOBAL) : nullptr;
        if (!avc) {
            const char* why = dlerror();
            lib.error = std::string("no FireWire stack: libavc1394 could not be loaded (") +
                (why ? why : "unknown reason") + ")";
            return;
        }
        std::string& e = lib.error;
        const bool ok = Resolve(raw, "raw1394_new_handle", lib.newHandle, e) &
            Resolve(raw, "raw1394_destroy_handle", lib.destroyHandle, e) &
            Resolve(raw, "raw1394_get_port_info", lib.portInfo, e) & Resolve(raw, "raw1394_set_port", lib.setPort, e) &
            Resolve(raw, "raw1394_get_nodecount", lib.nodeCount, e) & Resolve(rom, "rom1394_get_guid", lib.guid, e) &
            Resolve(rom, "rom1394_get_directory", lib.directory, e) &
            Resolve(rom, "rom1394_get_node_type", lib.nodeType, e) &
            Resolve(rom, "rom1394_free_directory", lib.freeDirectory, e) &
            Resolve(avc, "avc1394_check_subunit_type", lib.subunit, e) &
            Resolve(avc, "avc1394_vcr_status", lib.status, e) & Resolve(avc, "avc1394_vcr_play", lib.play, e) &
            Resolve(avc, "avc1394_vcr_stop", lib.stop, e) & Resolve(avc, "avc1394_vcr_pause", lib.pause, e) &
            Resolve(avc, "avc1394_vcr_forward", lib.forward, e) & Resolve(avc, "avc1394_vcr_rewind", lib.rewind, e) &
            Resolve(avc, "avc1394_vcr_trick_play", lib.trickPlay, e);
        if (!ok) lib.newHandle = nullptr;
    });
    return lib;
}

std::string GuidText(octlet_t guid)
{
    char text[24];
    std::snprintf(text, sizeof text, "%016" PRIx64, uint64_t(guid));
    return text;
}

// Calls `visit(handle, node, guid)` for every AV/C node of every port until it returns
// true. False, with `why`, when no port can be opened.
template <typename Visit>
bool EachAvcNode(raw1394handle_t& kept, Visit visit, std::string& why)
{
    const SAvcLibrary& lib = Library();
    if (!lib.newHandle) {
        why = lib.error;
        return false;
    }
    raw1394handle_t probe = lib.newHandle();
    if (!probe) {
        why = "no FireWire stack: the IEEE 1394 driver (/dev/fw*) cannot be opened";
        return false;
    }
    raw1394_portinfo ports[16];
    const int count = lib.portInfo(probe, ports, 16);
    lib.destroyHandle(probe);
    if (count <= 0) {
        why = "no IEEE 1394 card";
        return false;
    }
    for (int port = 0; port < count && port < 16; ++port) {
        raw1394handle_t h = lib.newHandle();
        if (!h) continue;
        if (lib.setPort(h, port) < 0) {
            lib.destroyHandle(h);
            continue;
        }
        bool taken = false;
        for (int n = 0; n < lib.nodeCount(h) && !taken; ++n) {
            rom1394_directory dir;
            if (lib.directory(h, nodeid_t(n), &dir) < 0) continue;
            const bool avc = lib.nodeType(&dir) == ROM1394_NODE_TYPE_AVC;
            lib.freeDirectory(&dir);
            if (avc) taken = visit(h, n, GuidText(lib.guid(h, nodeid_t(n))));
        }
        if (taken) {
            kept = h;
            return true;
        }
        lib.destroyHandle(h);
    }
    return true;
}

}  // namespace

CAvc1394Transport::~CAvc1394Transport() { Close(); }

bool CAvc1394Transport::ParseGuid(const std::string& text, uint64_t& guid)
{
    const std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 16 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    guid = std::strtoull(digits.c_str(), nullptr, 16);
    return true;
}

void CAvc1394Transport::Close()
{
    if (handle) Library().destroyHandle(static_cast<raw1394handle_t>(handle));
    handle = nullptr;
    node = -1;
}

std::vector<std::string> CAvc1394Transport::ListDevices(std::string& why)
{
    std::vector<std::string> devices;
    raw1394handle_t none = nullptr;
    why.clear();
    if (!EachAvcNode(
            none,
            [&](raw1394handle_t h, int n, const std::string& guid) {
                const SAvcLibrary& lib = Library();
                const bool vcr = lib.subunit(h, nodeid_t(n), AVC1394_SUBUNIT_TYPE_VCR) != 0;
                const bool camera = lib.subunit(h, nodeid_t(n), AVC1394_SUBUNIT_TYPE_VIDEO_CAMERA) != 0;
                devices.push_back(guid + "  AV/C " + (vcr ? "tape recorder" : camera ? "camera" : "device"));
                return false;
            },
            why))
        return {};
    if (devices.empty()) why = "no AV/C device on the IEEE 1394 bus";
    return devices;
}

bool CAvc1394Transport::Open(const std::string& guid)
{
    Close();
    uint64_t wanted = 0;
    if (!guid.empty() && !ParseGuid(guid, wanted)) {
        error = "\"" + guid + "\" is not a device GUID (16 hex digits, as capture --list shows)";
        return false;
    }
    raw1394handle_t kept = nullptr;
    std::string why;
    const bool scanned = EachAvcNode(
        kept,
        [&](raw1394handle_t, int n, const std::string& found) {
            uint64_t id = 0;
            if (!guid.empty() && (!ParseGuid(found, id) || id != wanted)) return false;
            node = n;
            return true;
        },
        why);
    if (!scanned || !kept) {
        error = "IEEE 1394 device " + (guid.empty() ? std::string("(any)") : guid) + ": " +
            (why.empty() ? "not found" : why);
        return false;
    }
    handle = kept;
    return true;
}

int32_t CAvc1394Transport::DeviceType()
{
    if (!handle) return kDeviceUnknown;
    const SAvcLibrary& lib = Library();
    auto h = static_cast<raw1394handle_t>(handle);
    if (lib.subunit(h, nodeid_t(node), AVC1394_SUBUNIT_TYPE_VCR)) return kDeviceVcr;
    if (lib.subunit(h, nodeid_t(node), AVC1394_SUBUNIT_TYPE_VIDEO_CAMERA)) return kDeviceCamera;
    return kDeviceUnknown;
}

bool CAvc1394Transport::QueryStatus()
{
    if (!handle) {
        error = "no IEEE 1394 device is open";
        return false;
    }
    const quadlet_t response = Library().status(static_cast<raw1394handle_t>(handle), nodeid_t(node));
    const quadlet_t kind = response & 0x0F000000;
    if (response == 0 || response == quadlet_t(~0u) || kind == AVC1394_RESPONSE_NOT_IMPLEMENTED ||
        kind == AVC1394_RESPONSE_REJECTED) {
        error = "the transport status query failed";
        return false;
    }
    return true;
}

bool CAvc1394Transport::Command(int32_t mode)
{
    if (!handle) {
        error = "no IEEE 1394 device is open";
        return false;
    }
    const SAvcLibrary& lib = Library();
    auto h = static_cast<raw1394handle_t>(handle);
    const auto n = nodeid_t(node);
    switch (mode) {
    case kTransportPlay:
        lib.play(h, n);
        return true;
    case kTransportStop:
        lib.stop(h, n);
        return true;
    case kTransportPause:
        lib.pause(h, n);
        return true;
    case kTransportFastForward:
        lib.forward(h, n);
        return true;
    case kTransportRewind:
        lib.rewind(h, n);
        return true;
    case kTransportFastPlayForward:
        lib.trickPlay(h, n, 14);  // the fastest forward play the command knows
        return true;
    case kTransportFastPlayReverse:
        lib.trickPlay(h, n, -14);
        return true;
    default:
        error = "unknown transport mode " + std::to_string(mode);
        return false;
    }
}
