// Plays a DVD folder or image through libdvdnav's virtual machine from first play to
// the stop, reading every block, and prints what it enters:
//   VTS <n>            a title set was entered
//   TITLE <t> PART <p> a new title or chapter started
//   STOP               the machine reached the stop
// Exit status: 0 after STOP, 2 on a libdvdnav error (printed as "ERROR: ..."), 3 when
// the stop is not reached within the block limit, 1 on bad usage or open failure.
#include <dvdnav/dvdnav.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: dvdnav_play DVD_FOLDER [MAX_BLOCKS]\n");
        return 1;
    }
    long long maxBlocks = argc > 2 ? std::atoll(argv[2]) : 20000000LL;
    dvdnav_t* nav = nullptr;
    if (dvdnav_open(&nav, argv[1]) != DVDNAV_STATUS_OK) {
        std::printf("ERROR: cannot open %s\n", argv[1]);
        return 1;
    }
    dvdnav_set_readahead_flag(nav, 0);
    dvdnav_set_PGC_positioning_flag(nav, 1);
    static uint8_t block[DVD_VIDEO_LB_LEN];
    int lastTitle = -1, lastPart = -1;
    long long blocks = 0;
    for (long long step = 0; step < maxBlocks; ++step) {
        int event = 0, length = 0;
        if (dvdnav_get_next_block(nav, block, &event, &length) != DVDNAV_STATUS_OK) {
            std::printf("ERROR: %s\n", dvdnav_err_to_string(nav));
            dvdnav_close(nav);
            return 2;
        }
        switch (event) {
        case DVDNAV_BLOCK_OK:
            ++blocks;
            break;
        case DVDNAV_VTS_CHANGE: {
            auto* e = reinterpret_cast<dvdnav_vts_change_event_t*>(block);
            if (e->new_domain == DVD_DOMAIN_VTSTitle) std::printf("VTS %d\n", e->new_vtsN);
            break;
        }
        case DVDNAV_CELL_CHANGE: {
            int32_t title = 0, part = 0;
            if (dvdnav_current_title_info(nav, &title, &part) == DVDNAV_STATUS_OK && title > 0 &&
                (title != lastTitle || part != lastPart)) {
                std::printf("TITLE %d PART %d\n", title, part);
                lastTitle = title;
                lastPart = part;
            }
            break;
        }
        case DVDNAV_STILL_FRAME:
            dvdnav_still_skip(nav);
            break;
        case DVDNAV_WAIT:
            dvdnav_wait_skip(nav);
            break;
        case DVDNAV_STOP:
            std::printf("BLOCKS %lld\nSTOP\n", blocks);
            dvdnav_close(nav);
            return 0;
        default:
            break;
        }
    }
    std::printf("ERROR: no stop after %lld steps\n", maxBlocks);
    dvdnav_close(nav);
    return 3;
}
