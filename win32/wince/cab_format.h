// Windows CE installation cabinets: the Microsoft cabinet that carries the
// files (CFHEADER, CFFOLDER, CFFILE, CFDATA), and the installation control
// file stored in it as its ".000" member ("MSCE": the application, its
// provider, the processor and Windows CE versions it is for, and the
// directories, files, registry entries and shortcuts to make).
//
// Shared by cab_make (which writes vesk's control file), cab_check (which
// reads any cabinet and checks it) and the simulated device's installer.
// Plain C++20 over bytes; zlib inflates MSZIP folders.
#ifndef VESK_WINCE_CAB_FORMAT_H
#define VESK_WINCE_CAB_FORMAT_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vesk_cab {

// What is wrong with a cabinet, in words a user can act on.
struct BadCabinet : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------
// The Microsoft cabinet

constexpr uint16_t kCompressNone = 0;
constexpr uint16_t kCompressMszip = 1;

// "uncompressed", "MSZIP", "Quantum", "LZX".
std::string CompressionName(uint16_t type);

struct Member {
    std::string name;  // as stored, e.g. "vesk.001"
    std::vector<uint8_t> data;
    uint16_t folder = 0;
    uint16_t date = 0, time = 0;  // MS-DOS date and time
    uint16_t attribs = 0;
};

struct Cabinet {
    uint32_t size = 0;  // the header's total length (the file's, once read)
    uint16_t set_id = 0;
    uint16_t folder_reserve = 0;        // bytes reserved in every CFFOLDER, and
    uint16_t header_reserve = 0;        // in the header
    std::vector<uint16_t> folders;      // each folder's compression type
    std::vector<Member> members;        // in the cabinet's order
    // A folder whose compression vesk's reader does not undo: its members
    // are listed, their data is empty, and this says why.
    std::string unread;

    const Member* Find(std::string_view name) const;  // case-insensitive
};

// Reads a whole cabinet. Throws BadCabinet (what is wrong and where) for a
// file that is not a cabinet, is cut short, spans several cabinets, has a
// data block whose checksum or size is wrong, or a member outside its folder.
Cabinet ReadCabinet(const std::vector<uint8_t>& file);

// An uncompressed cabinet of one folder holding the members in the order
// given, with their dates and attributes, checksummed as the format asks.
std::vector<uint8_t> WriteCabinet(const std::vector<Member>& members);

// The cabinet's checksum of a block of bytes (CFDATA's csum is this over the
// data, then over cbData and cbUncomp, each step seeded with the last).
uint32_t Checksum(const uint8_t* data, size_t size, uint32_t seed);

// ---------------------------------------------------------------------------
// The installation control file (the ".000" member)

// Processor codes a cabinet is built for; 0 installs on any.
constexpr uint32_t kProcessorAny = 0;
constexpr uint32_t kProcessorStrongArm = 2577;
std::string ProcessorName(uint32_t code);  // "StrongARM", "SH4", ...; "" for codes it does not know

// Registry value types and flags of a registry entry.
constexpr uint32_t kRegSz = 0x00000000;
constexpr uint32_t kRegBinary = 0x00000001;
constexpr uint32_t kRegNoClobber = 0x00000002;
constexpr uint32_t kRegMultiSz = 0x00010000;
constexpr uint32_t kRegDword = 0x00010001;
constexpr uint32_t kRegTypeMask = 0x00010001;

struct Setup {
    uint32_t length = 0;  // the header's total length
    size_t held = 0;      // the bytes the member holds
    uint32_t processor = 0;
    uint32_t min_major = 0, min_minor = 0, max_major = 0, max_minor = 0;  // minor as written: 4.20 is 20
    uint32_t min_build = 0, max_build = 0;
    std::string app, provider;
    std::vector<std::string> unsupported;  // platforms the cabinet refuses, by name

    struct String {
        uint16_t id = 0;
        std::string text;
    };
    struct Dir {
        uint16_t id = 0;
        std::vector<uint16_t> parts;  // string ids, joined with '\'
    };
    struct File {
        uint16_t id = 0;  // the member whose name ends in this number
        uint16_t dir = 0;
        uint16_t unknown = 0;  // CabWiz writes the file's own id here, or its place in the source list
        uint32_t flags = 0;    // the copy flags of the file's line in the installation script
        std::string name;
    };
    struct Hive {
        uint16_t id = 0;
        uint16_t root = 0;  // 1 HKCR, 2 HKCU, 3 HKLM, 4 HKU
        uint16_t unknown = 0;
        std::vector<uint16_t> parts;  // string ids of the key path
    };
    struct Key {
        uint16_t id = 0;
        uint16_t hive = 0;
        uint16_t substitute = 0;  // 1: %InstallDir% and %CEn% in the data are replaced
        uint32_t type = 0;        // kRegSz ... and kRegNoClobber
        std::vector<uint8_t> data;  // the value's name, NUL, then its data
    };
    struct Link {
        uint16_t id = 0;
        uint16_t unknown = 0;
        uint16_t base = 0;    // n of %CEn%, 0 for %InstallDir%
        uint16_t target = 0;  // a file id, or a directory id
        uint16_t type = 1;    // 1 a file, 0 a directory
        std::vector<uint16_t> parts;  // string ids of the shortcut's path under base
    };
    std::vector<String> strings;
    std::vector<Dir> dirs;
    std::vector<File> files;
    std::vector<Hive> hives;
    std::vector<Key> keys;
    std::vector<Link> links;

    const std::string* StringOf(uint16_t id) const;
    const Dir* DirOf(uint16_t id) const;
    const File* FileOf(uint16_t id) const;
    const Hive* HiveOf(uint16_t id) const;
    // A directory or key path from its string ids ("%CE1%\vesk"); unknown ids as "<id N>".
    std::string Join(const std::vector<uint16_t>& parts) const;
};

// Reads a control file. Throws BadCabinet for one that is not a control
// file or whose sections or strings lie outside it. A header whose length
// differs from the bytes held is read; Check reports it.
Setup ReadSetup(const std::vector<uint8_t>& bytes);

// Writes a control file: the header, the application and provider names,
// then the sections in their order, each entry as the installer reads it
// (directory and registry key paths end in 0; shortcut paths do not).
std::vector<uint8_t> WriteSetup(const Setup& setup);

// "4.20", "100.0": a version as the control file holds it.
std::string Version(uint32_t major, uint32_t minor);

// The folder that %CEn% names on a Pocket PC ("" for an n it does not know).
std::string PocketPcFolder(unsigned n);
// A path with %CEn% and %InstallDir% replaced by the Pocket PC's folders.
std::string Expand(const std::string& path, const std::string& install_dir);
// %InstallDir%: the install folder, string 1 by CabWiz's convention.
std::string InstallDir(const Setup& setup);
// "HKCR", "HKCU", "HKLM", "HKU"; "" for another root.
std::string RootName(uint16_t root);

// The member that holds a file entry: the one whose name ends in ".NNN"
// with NNN the entry's id.
const Member* MemberOf(const Cabinet& cab, uint16_t file_id);
// The number a member's name ends in (".001" is 1), if it ends in three digits.
std::optional<unsigned> MemberNumber(const std::string& name);
// The control file's member: the one numbered 0.
const Member* SetupMember(const Cabinet& cab);

// What the installer checks before it changes anything. Each returns the
// problems it found, one sentence each; none when the cabinet is right.
// The header's total length is the member's.
std::vector<std::string> CheckLength(const Setup& setup);
// Every string, directory, file and hive id that an entry names exists.
std::vector<std::string> CheckIds(const Setup& setup);
// Every file entry has its member, and every member has its entry, but the
// control file itself, the setup DLL (".999", which the installer runs) and
// the provisioning document "_setup.xml".
std::vector<std::string> CheckMembers(const Setup& setup, const Cabinet& cab);

}  // namespace vesk_cab

#endif
