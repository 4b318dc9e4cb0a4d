// Where every field we write lies in the DVD-Video information files (VIDEO_TS.IFO and
// VTS_nn_0.IFO), named as DVD readers commonly name them. Offsets are in bytes from the
// start of their structure; all multi-byte fields are big-endian. Sector fields count
// 2048-byte sectors from the start of the file (or of the title set for VOB sectors).
#pragma once

#include <cstdint>

namespace ifo {

constexpr int kSectorBytes = 2048;

// Video manager information (VMGI_MAT), sector 0 of VIDEO_TS.IFO.
namespace vmgi {
constexpr int kVmgIdentifier = 0x00;  // "DVDVIDEO-VMG"
constexpr int kVmgLastSector = 0x0C;  // last sector of the VMG (IFO, VOBs, BUP)
constexpr int kVmgiLastSector = 0x1C;  // last sector of VIDEO_TS.IFO
constexpr int kFormatVersion = 0x20;  // 16 bits: zero byte, then version (0x11)
constexpr int kVmgNrOfVolumes = 0x26;  // volumes of the disc set
constexpr int kVmgThisVolumeNr = 0x28;  // number of this volume
constexpr int kDiscSide = 0x2A;  // side of the disc
constexpr int kVmgNrOfTitleSets = 0x3E;  // title sets on the disc
constexpr int kVmgiLastByte = 0x80;  // last byte of this table
constexpr int kFirstPlayPgc = 0x84;  // byte offset of the first-play program chain
constexpr int kVmgmVobs = 0xC0;  // sector of the menu VOB (VIDEO_TS.VOB), 0 when none
constexpr int kTtSrpt = 0xC4;  // sector of the title search pointer table
constexpr int kVmgmPgciUt = 0xC8;  // sector of the menu program chain unit table
constexpr int kPtlMait = 0xCC;  // sector of the parental management table
constexpr int kVtsAtrt = 0xD0;  // sector of the title set attribute table
constexpr int kTxtdtMgi = 0xD4;  // sector of the text data table
constexpr int kVmgmCAdt = 0xD8;  // sector of the menu cell address table
constexpr int kVmgmVobuAdmap = 0xDC;  // sector of the menu VOBU address map
}  // namespace vmgi

// Video title set information (VTSI_MAT), sector 0 of VTS_nn_0.IFO.
namespace vtsi {
constexpr int kVtsIdentifier = 0x00;  // "DVDVIDEO-VTS"
constexpr int kVtsLastSector = 0x0C;  // last sector of the title set (IFO, VOBs, BUP)
constexpr int kVtsiLastSector = 0x1C;  // last sector of the IFO
constexpr int kFormatVersion = 0x20;  // 16 bits: zero byte, then version (0x11)
constexpr int kVtsiLastByte = 0x80;  // last byte of this table
constexpr int kVtsmVobs = 0xC0;  // sector of the menu VOB (VTS_nn_0.VOB), 0 when none
constexpr int kVtsttVobs = 0xC4;  // sector of the title VOBs (= IFO sectors)
constexpr int kVtsPttSrpt = 0xC8;  // sector of the chapter (part of title) table
constexpr int kVtsPgcit = 0xCC;  // sector of the title program chain table
constexpr int kVtsmPgciUt = 0xD0;  // sector of the menu program chain unit table
constexpr int kVtsTmapt = 0xD4;  // sector of the time map table
constexpr int kVtsmCAdt = 0xD8;  // sector of the menu cell address table
constexpr int kVtsmVobuAdmap = 0xDC;  // sector of the menu VOBU address map
constexpr int kVtsCAdt = 0xE0;  // sector of the cell address table
constexpr int kVtsVobuAdmap = 0xE4;  // sector of the VOBU address map
constexpr int kVtsmVideoAttr = 0x100;  // start of the attributes the VMG copies
constexpr int kAttributesLength = 768;  // bytes of attributes copied into the VMG
constexpr int kVtsVideoAttr = 0x200;  // 2 bytes: coding, system, aspect; resolution
constexpr int kNrOfVtsAudioStreams = 0x203;  // audio streams of the titles
constexpr int kVtsAudioAttr = 0x204;  // 8 bytes per audio stream
constexpr int kAudioAttrLength = 8;  // bytes of one audio stream's attributes
constexpr int kNrOfVtsSubpStreams = 0x255;  // sub-picture streams of the titles
}  // namespace vtsi

// Table headers shared by the search pointer and address tables: a 16-bit count, two
// zero bytes and the table's last byte.
namespace table {
constexpr int kCount = 0x00;  // number of entries (16 bits)
constexpr int kLastByte = 0x04;  // offset of the table's last byte
constexpr int kHeaderLength = 8;  // the entries follow
}  // namespace table

// Title search pointer table (TT_SRPT): the header, then 12 bytes per title.
namespace ttSrpt {
constexpr int kEntryLength = 12;
constexpr int kPbTy = 0;  // playback type
// One sequential chain; jumps, links or calls in its pre/post commands (0x10) and in
// the title domain (0x04).
constexpr uint8_t kPbTyCommandsInTitle = 0x14;
constexpr int kNrOfAngles = 1;  // angles of the title
constexpr int kNrOfPtts = 2;  // chapters (16 bits)
constexpr int kTitleSetNr = 6;  // title set that holds the title
constexpr int kVtsTtn = 7;  // title number within its title set
constexpr int kTitleSetSector = 8;  // first sector of the title set on the disc
}  // namespace ttSrpt

// Part-of-title search pointer table (VTS_PTT_SRPT): the header, an offset per title,
// then 4 bytes per chapter.
namespace pttSrpt {
constexpr int kTtuOffset = 0x08;  // offset of the first title's chapter list
constexpr int kEntryLength = 4;
constexpr int kPgcn = 0;  // program chain of the chapter (16 bits)
constexpr int kPgn = 2;  // program of the chapter (16 bits)
}  // namespace pttSrpt

// Program chain information table (PGCIT, also one language unit of a PGCI_UT): the
// header, then 8-byte search pointers.
namespace pgcit {
constexpr int kSrpLength = 8;
constexpr int kEntryId = 0;  // 0x80: entry chain; low bits: title or menu kind
constexpr int kPgcStartByte = 4;  // offset of the chain from the table's start
constexpr uint8_t kEntryTitle1 = 0x81;  // entry chain of title 1
constexpr uint8_t kEntryTitleMenu = 0x82;  // entry chain of the title menu
}  // namespace pgcit

// Menu program chain unit table (PGCI_UT): the header, then 8 bytes per language unit.
namespace pgciUt {
constexpr int kLuLength = 8;
constexpr int kLangCode = 0;  // two-letter language code
constexpr int kExists = 3;  // menus present; 0x80: a title menu
constexpr int kLangStartByte = 4;  // offset of the unit's program chain table
constexpr uint8_t kTitleMenuExists = 0x80;
}  // namespace pgciUt

// Title set attribute table (VTS_ATRT): the header, an offset per title set, then for
// each one its last byte, its category and the attributes copied from its IFO.
namespace vtsAtrt {
constexpr int kOffsets = 0x08;  // offset of each title set's attributes
constexpr int kLastByte = 0x00;  // last byte of one title set's entry
constexpr int kAttributes = 0x08;  // the copied attributes
constexpr int kEntryLength = 8 + vtsi::kAttributesLength;
}  // namespace vtsAtrt

// Cell address table (VTS_C_ADT): the header, then 12 bytes per cell.
namespace cAdt {
constexpr int kEntryLength = 12;
constexpr int kVobId = 0;  // VOB of the cell (16 bits)
constexpr int kCellId = 2;  // cell number within the VOB
constexpr int kStartSector = 4;  // first sector of the cell
constexpr int kLastSector = 8;  // last sector of the cell
}  // namespace cAdt

// Time map table (VTS_TMAPT): the header, an offset per program chain, then each map.
namespace tmapt {
constexpr int kTmapOffset = 0x08;  // offset of the first map
constexpr int kFirstMap = 0x0C;  // where the first (our only) map starts
constexpr int kTmu = kFirstMap + 0;  // time unit of the map in seconds
constexpr int kNrOfEntries = kFirstMap + 2;  // entries of the map (16 bits)
constexpr int kMapEntries = kFirstMap + 4;  // 4 bytes each: sector, bit 31 = cell's last
}  // namespace tmapt

// VOBU address map (VTS_VOBU_ADMAP): its last byte, then the start sector of every VOBU.
namespace vobuAdmap {
constexpr int kLastByte = 0x00;
constexpr int kStartSectors = 0x04;
}  // namespace vobuAdmap

// Program chain (PGC).
namespace pgc {
constexpr int kNrOfPrograms = 0x02;  // programs (chapters) of the chain
constexpr int kNrOfCells = 0x03;  // cells of the chain
constexpr int kPlaybackTime = 0x04;  // 4 bytes BCD: hours, minutes, seconds, frames
constexpr int kAudioControl = 0x0C;  // 16 bits per audio stream; 0x8000 = available
constexpr int kSubpControl = 0x1C;  // 32 bits per sub-picture stream; bit 31 = available
constexpr int kPalette = 0xA4;  // 16 colours, 0x00YYCrCb
constexpr int kPaletteEntries = 16;
constexpr int kCommandTblOffset = 0xE4;  // offset of the command table
constexpr int kProgramMapOffset = 0xE6;  // offset of the program map
constexpr int kCellPlaybackOffset = 0xE8;  // offset of the cell playback table
constexpr int kCellPositionOffset = 0xEA;  // offset of the cell position table
constexpr int kHeaderLength = 0xEC;  // the command table follows the header
}  // namespace pgc

// Command table of a program chain: counts, its last byte, then 8 bytes per command
// (pre-commands, post-commands, cell commands in that order).
namespace pgcCommandTbl {
constexpr int kNrOfPre = 0;
constexpr int kNrOfPost = 2;
constexpr int kNrOfCell = 4;
constexpr int kLastByte = 6;
constexpr int kHeaderLength = 8;
constexpr int kCommandLength = 8;
}  // namespace pgcCommandTbl

// One cell's playback information: 24 bytes per cell.
namespace cellPlayback {
constexpr int kEntryLength = 24;
constexpr int kCategory = 0;  // block mode and type, seamless and STC flags
constexpr int kPlaybackTime = 4;  // 4 bytes BCD
constexpr int kFirstSector = 8;  // first sector of the cell
constexpr int kLastVobuStartSector = 16;  // sector of the cell's last NAV pack
constexpr int kLastSector = 20;  // last sector of the cell
constexpr uint8_t kStcDiscontinuity = 0x02;
constexpr uint8_t kSeamlessPlay = 0x08;
}  // namespace cellPlayback

// One cell's position: 4 bytes per cell.
namespace cellPosition {
constexpr int kEntryLength = 4;
constexpr int kVobIdNr = 0;  // VOB of the cell (16 bits)
constexpr int kCellNr = 3;  // cell number within the VOB
}  // namespace cellPosition

// Where the title set's IFO keeps its tables (fixed by how the title set is written):
// the chapter table in sector 1, the program chain table from sector 2, with the one
// title chain right after the table's header and first search pointer.
constexpr int kVtsPttSrptSector = 1;
constexpr int kVtsPgcitSector = 2;
constexpr int kTitlePgcInPgcit = table::kHeaderLength + pgcit::kSrpLength;
// The title chain's first post-command, which the VMG writer renumbers.
constexpr int kTitlePostCommands =
    kVtsPgcitSector * kSectorBytes + kTitlePgcInPgcit + pgc::kHeaderLength + pgcCommandTbl::kHeaderLength;

}  // namespace ifo
