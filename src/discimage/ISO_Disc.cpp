#include "discimage/ISO_Disc.h"

#include "base/InputFile.h"

#include <sys/stat.h>
#include <cstring>

ISO_Disc::~ISO_Disc() { Close(); }

void ISO_Disc::Close()
{
    file.Reset();
    sectors = 0;
}

bool ISO_Disc::Open(const std::string& path)
{
    Close();
    std::string unreadable;
    file = OpenInputFile(path, unreadable);
    struct stat st {};
    if (!file || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    sectors = (static_cast<int64_t>(st.st_size) + kSectorSize - 1) / kSectorSize;
    return true;
}

int ISO_Disc::ReadSector(int64_t index, uint8_t* buffer)
{
    if (!file || index < 0 || index >= sectors) return 0;
    const size_t done = ReadDescriptorAt(file.Get(), buffer, kSectorSize, index * kSectorSize);
    if (done < kSectorSize) std::memset(buffer + done, 0, kSectorSize - done);
    return kSectorSize;
}
