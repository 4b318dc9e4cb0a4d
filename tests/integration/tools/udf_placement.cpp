// Checks, with libdvdread's own UDF reader and IFO parser, that every file of a DVD
// image starts at the sector its IFO files give: VIDEO_TS.VOB and VIDEO_TS.BUP from the
// video manager, each title set from the title table, and within a title set its menu
// VOB, its first title VOB and its BUP from the set's own IFO (further title VOBs follow
// the previous one directly). Prints one line per file:
//   NAME SECTOR BYTES EXPECTED
// and "MISMATCH NAME" for each file not where it belongs.
// Exit status: 0 when all match, 2 on any mismatch, 1 when the image cannot be read.
#include <dvdread/dvd_reader.h>
#include <dvdread/dvd_udf.h>
#include <dvdread/ifo_read.h>

#include <cstdio>
#include <string>

namespace {

dvd_reader_t* dvd = nullptr;
int mismatches = 0;

// Looks a file up; prints and counts it when `expected` (absolute sector) differs.
// Returns the file's sector (0 when absent) and its size in `bytes`.
uint32_t Check(const std::string& name, long long expected, uint32_t& bytes)
{
    bytes = 0;
    uint32_t sector = UDFFindFile(dvd, ("/VIDEO_TS/" + name).c_str(), &bytes);
    if (sector == 0) return 0;
    std::printf("%s %u %u %lld\n", name.c_str(), sector, bytes, expected);
    if (expected >= 0 && sector != expected) {
        std::printf("MISMATCH %s\n", name.c_str());
        ++mismatches;
    }
    return sector;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: udf_placement IMAGE.iso\n");
        return 1;
    }
    dvd = DVDOpen(argv[1]);
    if (!dvd) {
        std::printf("ERROR: cannot open %s\n", argv[1]);
        return 1;
    }
    uint32_t bytes = 0;
    uint32_t base = Check("VIDEO_TS.IFO", -1, bytes);
    ifo_handle_t* vmg = base ? ifoOpen(dvd, 0) : nullptr;
    if (!vmg || !vmg->tt_srpt) {
        std::printf("ERROR: no readable VIDEO_TS.IFO\n");
        return 1;
    }
    uint32_t bup = 0;
    UDFFindFile(dvd, "/VIDEO_TS/VIDEO_TS.BUP", &bup);
    if (vmg->vmgi_mat->vmgm_vobs) Check("VIDEO_TS.VOB", base + vmg->vmgi_mat->vmgm_vobs, bytes);
    Check("VIDEO_TS.BUP", base + vmg->vmgi_mat->vmg_last_sector + 1 - bup / 2048, bytes);

    int sets = vmg->vmgi_mat->vmg_nr_of_title_sets;
    for (int n = 1; n <= sets; ++n) {
        long long start = -1;
        for (int t = 0; t < vmg->tt_srpt->nr_of_srpts; ++t)
            if (vmg->tt_srpt->title[t].title_set_nr == n) {
                start = base + vmg->tt_srpt->title[t].title_set_sector;
                break;
            }
        char name[32];
        std::snprintf(name, sizeof name, "VTS_%02d_0.IFO", n);
        Check(name, start, bytes);
        ifo_handle_t* vts = ifoOpen(dvd, n);
        if (!vts || start < 0) {
            std::printf("ERROR: title set %d unreadable\n", n);
            ++mismatches;
            continue;
        }
        if (vts->vtsi_mat->vtsm_vobs) {
            std::snprintf(name, sizeof name, "VTS_%02d_0.VOB", n);
            Check(name, start + vts->vtsi_mat->vtsm_vobs, bytes);
        }
        long long next = start + vts->vtsi_mat->vtstt_vobs;
        for (int k = 1; k <= 9; ++k) {
            std::snprintf(name, sizeof name, "VTS_%02d_%d.VOB", n, k);
            uint32_t at = Check(name, next, bytes);
            if (!at) break;
            next = at + (bytes + 2047) / 2048;
        }
        std::snprintf(name, sizeof name, "VTS_%02d_0.BUP", n);
        uint32_t vtsBup = 0;
        UDFFindFile(dvd, ("/VIDEO_TS/" + std::string(name)).c_str(), &vtsBup);
        Check(name, start + vts->vtsi_mat->vts_last_sector + 1 - vtsBup / 2048, bytes);
        ifoClose(vts);
    }
    ifoClose(vmg);
    DVDClose(dvd);
    return mismatches ? 2 : 0;
}
