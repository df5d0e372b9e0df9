// Reads a Windows CE executable the way the device's loader sees it and checks
// what a Pocket PC needs before it runs a program: an ARM PE32 image, the
// Windows CE GUI subsystem, version fields the device accepts, imports that the
// device's DLLs export, and the resources vesk loads.
//
//   pe_check EXE [--imports-only]
//            [--exports "LABEL=a.def,b.def,..."]...   export lists of one OS release
//            [--res REF.res]                         resources the image must hold, byte for byte
//            [--need TYPE/NAME]...                   a resource that must be present
//            [--version MAJOR.MINOR]                 the subsystem version (default 4.20)
//
// Prints the image's size, machine, subsystem, versions and imports by DLL, then
// one line per check, "PASS what" or "FAIL what: why". With --imports-only only
// the imports are listed and checked (for images that are not device builds).
// The exit status is 0 when every check passed, 1 when one failed, 2 on bad use.
#include <optional>
#include <set>
#include <sstream>

#include <sim/pe_format.h>

namespace {

using namespace vesk_pe;

ResId ParseResId(const std::string& s) {
  ResId id;
  if (!s.empty() && s.find_first_not_of("0123456789") == std::string::npos) {
    id.num = uint32_t(std::stoul(s));
  } else {
    id.is_num = false;
    id.str.assign(s.begin(), s.end());
  }
  return id;
}

// One release's export lists: DLL -> names, and ordinals for imports by number.
struct Exports {
  std::string label;
  std::map<std::string, std::set<std::string>> names;
  std::map<std::string, std::map<uint32_t, std::string>> ordinals;
};

void ReadDef(const std::string& path, Exports& ex) {
  std::ifstream in(path);
  if (!in) throw BadImage("cannot read " + path);
  std::string line, dll;
  bool exports = false;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find(';'));
    std::istringstream words(line);
    std::string first;
    if (!(words >> first)) continue;
    if (Upper(first) == "LIBRARY") {
      words >> dll;
      dll = DllKey(dll);
    } else if (Upper(first) == "EXPORTS") {
      exports = true;
    } else if (exports) {
      if (dll.empty()) throw BadImage(path + ": EXPORTS before LIBRARY");
      std::string name = first.substr(0, first.find('='));
      ex.names[dll].insert(name);
      for (std::string w; words >> w;) {
        if (w.size() > 1 && w[0] == '@') ex.ordinals[dll][uint32_t(std::stoul(w.substr(1)))] = name;
      }
    }
  }
  if (dll.empty()) throw BadImage(path + ": no LIBRARY line");
}

int passed = 0, failed = 0;

void Check(bool ok, const std::string& what, const std::string& why = {}) {
  std::printf("%s %s%s\n", ok ? "PASS" : "FAIL", what.c_str(), ok || why.empty() ? "" : (": " + why).c_str());
  (ok ? passed : failed)++;
}

void PrintImports(const Image& img) {
  size_t total = 0;
  for (const Import& imp : img.imports) {
    size_t col = size_t(std::printf("imports   %s (%zu):", imp.dll.c_str(), imp.names.size()));
    for (const std::string& n : imp.names) {
      if (col + n.size() > 100) {
        std::printf("\n         ");
        col = 9;
      }
      std::printf(" %s", n.c_str());
      col += n.size() + 1;
    }
    std::printf("\n");
    total += imp.names.size();
  }
  std::printf("imports   %zu functions from %zu DLLs\n", total, img.imports.size());
}

void CheckImports(const Image& img, const Exports& ex) {
  std::string missing;
  size_t total = 0;
  for (const Import& imp : img.imports) {
    std::string dll = DllKey(imp.dll);
    auto names = ex.names.find(dll);
    if (names == ex.names.end()) {
      missing += " " + imp.dll + " (no such DLL on the device)";
      continue;
    }
    for (const std::string& n : imp.names) {
      ++total;
      bool found = false;
      if (n[0] == '#') {
        auto ords = ex.ordinals.find(dll);
        found = ords != ex.ordinals.end() && ords->second.count(uint32_t(std::stoul(n.substr(1))));
      } else {
        found = names->second.count(n) > 0;
      }
      if (!found) missing += " " + imp.dll + ":" + n;
    }
  }
  Check(missing.empty() && total > 0, "imports on " + ex.label + ": " + std::to_string(total) + " functions",
        total == 0 ? "the image imports nothing" : "not exported:" + missing);
}

int Usage() {
  std::fprintf(stderr,
               "usage: pe_check EXE [--imports-only] [--exports LABEL=a.def,b.def]... [--res REF.res]\n"
               "                [--need TYPE/NAME]... [--version MAJOR.MINOR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string exe = argv[1];
  bool imports_only = false;
  std::vector<Exports> releases;
  std::optional<std::string> ref;
  std::vector<std::pair<ResId, ResId>> needed;
  uint16_t want_major = 4, want_minor = 20;
  try {
    for (int i = 2; i < argc; ++i) {
      std::string a = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return argv[++i];
      };
      if (a == "--imports-only") {
        imports_only = true;
      } else if (a == "--exports") {
        std::string v = value();
        size_t eq = v.find('=');
        if (eq == std::string::npos) throw std::invalid_argument("--exports wants LABEL=a.def,b.def");
        Exports ex;
        ex.label = v.substr(0, eq);
        std::istringstream defs(v.substr(eq + 1));
        for (std::string d; std::getline(defs, d, ',');) ReadDef(d, ex);
        releases.push_back(ex);
      } else if (a == "--res") {
        ref = value();
      } else if (a == "--need") {
        std::string v = value();
        size_t slash = v.find('/');
        if (slash == std::string::npos) throw std::invalid_argument("--need wants TYPE/NAME");
        needed.push_back({ParseResId(v.substr(0, slash)), ParseResId(v.substr(slash + 1))});
      } else if (a == "--version") {
        std::string v = value();
        unsigned major = 0, minor = 0;
        if (std::sscanf(v.c_str(), "%u.%u", &major, &minor) != 2) throw std::invalid_argument("--version wants N.N");
        want_major = uint16_t(major);
        want_minor = uint16_t(minor);
      } else {
        return Usage();
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pe_check: %s\n", e.what());
    return 2;
  }

  Image img;
  try {
    img = PeReader(ReadFile(exe)).Read();
  } catch (const BadImage& e) {
    Check(false, "well-formed PE32 image", e.what());
    return 1;
  }

  std::printf("size      %llu bytes\n", (unsigned long long)img.size);
  std::printf("machine   0x%04x%s, entry point 0x%x\n", img.machine, img.machine == kMachineArm ? " (ARM)" : "",
              img.entry);
  std::printf("subsystem %u%s, version %u.%02u; OS version %u.%02u\n", img.subsystem,
              img.subsystem == kSubsystemCeGui ? " (Windows CE GUI)" : "", img.sub_major, img.sub_minor,
              img.os_major, img.os_minor);
  PrintImports(img);
  for (const Exports& ex : releases) CheckImports(img, ex);
  if (imports_only) return failed ? 1 : 0;

  Check((img.characteristics & kCharExecutable) && !(img.characteristics & kCharDll), "an executable, not a DLL");
  // The loader starts an ARM image at its entry point in ARM state: the address
  // must be word-aligned (an odd one would ask for Thumb code).
  Check(img.machine == kMachineArm && img.entry % 4 == 0 && img.entry != 0, "machine ARM (0x1c0), ARM-state entry point",
        "machine " + Hex(img.machine) + ", entry point " + Hex(img.entry));
  Check(img.subsystem == kSubsystemCeGui, "subsystem Windows CE GUI (9)", "subsystem " + std::to_string(img.subsystem));
  // The device refuses a program whose subsystem version is above its own
  // release; the OS version must not ask for more either.
  auto ver = [](uint16_t major, uint16_t minor) { return uint32_t(major) << 16 | minor; };
  char want[64];
  std::snprintf(want, sizeof want, "subsystem version %u.%02u, OS version at most that", want_major, want_minor);
  Check(img.sub_major == want_major && img.sub_minor == want_minor &&
            ver(img.os_major, img.os_minor) <= ver(want_major, want_minor),
        want);

  std::string absent;
  for (const auto& [type, name] : needed) {
    bool found = false;
    for (const auto& [k, data] : img.resources) found |= k.type == type && k.name == name && !data.empty();
    if (!found) absent += " " + Show(type) + "/" + Show(name);
  }
  if (!needed.empty()) {
    std::string list;
    for (const auto& [type, name] : needed) list += (list.empty() ? "" : ", ") + Show(type) + "/" + Show(name);
    Check(absent.empty(), "resources present: " + list, "missing" + absent);
  }

  if (ref) {
    Resources want_res;
    try {
      want_res = ReadRes(ReadFile(*ref));
    } catch (const BadImage& e) {
      Check(false, "resources as the simulator loads them", *ref + ": " + e.what());
      return 1;
    }
    std::string diff;
    for (const auto& [k, data] : want_res) {
      auto it = img.resources.find(k);
      if (it == img.resources.end()) diff += "; " + Show(k) + " missing";
      else if (it->second != data)
        diff += "; " + Show(k) + " differs (" + std::to_string(it->second.size()) + " bytes, reference " +
                std::to_string(data.size()) + ")";
    }
    for (const auto& [k, data] : img.resources)
      if (!want_res.count(k)) diff += "; " + Show(k) + " not in the reference";
    Check(diff.empty() && !want_res.empty(),
          "resources byte for byte as the simulator loads them: " + std::to_string(want_res.size()) + " resources",
          want_res.empty() ? "the reference holds none" : diff.empty() ? "" : diff.substr(2));
  }
  return failed ? 1 : 0;
}
