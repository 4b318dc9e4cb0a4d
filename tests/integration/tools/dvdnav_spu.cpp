// Plays a DVD folder through libdvdnav from first play and prints, at the first cell
// of every title set entered, the sub-picture stream the player would show:
//   VTS <n> SPU <stream>   the stream shown (0..31)
//   VTS <n> SPU HIDDEN     sub-pictures are off (only forced ones would show)
//   VTS <n> SPU NONE       the title has no sub-picture stream
// It stops after MAX_VTS title sets (default 1). Exit status 0, 1 on bad usage or when
// the folder cannot be opened, 2 on a libdvdnav error.
#include <dvdnav/dvdnav.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: dvdnav_spu DVD_FOLDER [MAX_VTS]\n");
        return 1;
    }
    const int maxVts = argc > 2 ? std::atoi(argv[2]) : 1;
    dvdnav_t* nav = nullptr;
    if (dvdnav_open(&nav, argv[1]) != DVDNAV_STATUS_OK) {
        std::printf("ERROR: cannot open %s\n", argv[1]);
        return 1;
    }
    dvdnav_set_readahead_flag(nav, 0);
    static uint8_t block[DVD_VIDEO_LB_LEN];
    int vts = 0, seen = 0;
    bool pending = false;
    for (long step = 0; step < 2000000 && seen < maxVts; ++step) {
        int event = 0, length = 0;
        if (dvdnav_get_next_block(nav, block, &event, &length) != DVDNAV_STATUS_OK) {
            std::printf("ERROR: %s\n", dvdnav_err_to_string(nav));
            dvdnav_close(nav);
            return 2;
        }
        if (event == DVDNAV_VTS_CHANGE) {
            auto* e = reinterpret_cast<dvdnav_vts_change_event_t*>(block);
            if (e->new_domain == DVD_DOMAIN_VTSTitle) {
                vts = e->new_vtsN;
                pending = true;
            }
        } else if (event == DVDNAV_CELL_CHANGE && pending) {
            pending = false;
            ++seen;
            const int8_t stream = dvdnav_get_active_spu_stream(nav);
            // Stream 0 maps to a physical stream only when the title has one.
            if (dvdnav_get_spu_logical_stream(nav, 0) < 0)
                std::printf("VTS %d SPU NONE\n", vts);
            else if (stream < 0)
                std::printf("VTS %d SPU HIDDEN\n", vts);
            else
                std::printf("VTS %d SPU %d\n", vts, stream);
        } else if (event == DVDNAV_STOP) {
            break;
        } else if (event == DVDNAV_STILL_FRAME) {
            dvdnav_still_skip(nav);
        } else if (event == DVDNAV_WAIT) {
            dvdnav_wait_skip(nav);
        }
    }
    dvdnav_close(nav);
    return 0;
}
