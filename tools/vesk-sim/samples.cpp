#include "samples.h"

namespace vesk_sim {

namespace {

sim::AppConfig App(const char* name, const WCHAR* exe, const WCHAR* cls, const WCHAR* title) {
    sim::AppConfig a;
    a.name = name;
    if (exe) a.exe = exe;
    if (cls) a.class_name = cls;
    if (title) a.title = title;
    return a;
}

std::vector<sim::AppConfig> Catalogue() {
    std::vector<sim::AppConfig> apps;
    apps.push_back(App("Programs", u"shell32.exe", u"Programs", u"Programs"));
    apps.push_back(App("Find", u"shfind.exe", u"shfind", u"Find"));
    apps.push_back(App("Tasks", u"tasks.exe", u"Tasks Application", u"Tasks"));
    apps.push_back(App("Contacts", u"addrbook.exe", u"Contacts", u"Contacts"));
    apps.push_back(App("Journal", nullptr, nullptr, u"Journal - notes from Thursday's meeting with the whole team"));
    apps.push_back(App("Notes", nullptr, nullptr, u"Notes"));
    apps.push_back(App("Calendar", u"calendar.exe", u"Calendar", u"Calendar"));
    sim::AppConfig owner = App("Owner", u"ctlpnl.exe", u"Dialog", u"Owner Information");
    owner.style = 0x90000004;  // a property sheet, with the caption's "ok"
    owner.exstyle = WS_EX_CAPTIONOKBTN;
    owner.on_ok = sim::OnOk::Ignore;  // it closes when its OK button is pressed
    apps.push_back(owner);
    sim::AppConfig power = App("Power", u"power.exe", nullptr, u"Power");
    power.exstyle = WS_EX_CAPTIONOKBTN;
    apps.push_back(power);
    return apps;
}

}  // namespace

std::vector<sim::AppConfig> BootSamples() { return Catalogue(); }

sim::AppConfig ExtraSample(int n) {
    static const char* const kNames[] = {"Inbox", "Messages", "Calculator", "Solitaire"};
    constexpr int kCount = sizeof kNames / sizeof kNames[0];
    if (n < kCount) return App(kNames[n], nullptr, nullptr, nullptr);
    // Further copies of the boot set, each its own process: "Notes-2", ...
    std::vector<sim::AppConfig> all = Catalogue();
    int k = n - kCount;
    sim::AppConfig a = all[size_t(k) % all.size()];
    std::string suffix = "-" + std::to_string(2 + k / int(all.size()));
    a.name += suffix;
    a.exe = sim::WString(a.name.begin(), a.name.end()) + u".exe";
    if (a.title) *a.title += sim::WString(suffix.begin(), suffix.end());
    return a;
}

}  // namespace vesk_sim
