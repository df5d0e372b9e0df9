// The registry: keys and values under the predefined roots. Names compare
// without regard to case, as on the platform. A read into a buffer too small
// for the value fails with ERROR_MORE_DATA and copies nothing.
#include "registry.h"

#include <algorithm>

#include "core.h"

namespace sim {

namespace {

sim::WString Fold(const sim::WString& s) {
    sim::WString out = s;
    for (auto& c : out) c = UpperCase(c);
    return out;
}

struct Value {
    sim::WString name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

struct Key {
    sim::WString name;
    std::map<sim::WString, std::unique_ptr<Key>> subkeys;  // by folded name
    std::map<sim::WString, Value> values;                  // by folded name
};

struct RegistryState {
    std::map<uintptr_t, Key> roots;
};

RegistryState& R() {
    Machine& m = M();
    if (!m.registry) m.registry = std::make_shared<RegistryState>();
    return *static_cast<RegistryState*>(m.registry.get());
}

struct KeyHandle : Object {
    static constexpr Kind kKind = Kind::RegKey;
    KeyHandle() : Object(Kind::RegKey) {}
    uintptr_t root = 0;
    std::vector<sim::WString> path;  // folded
};

bool IsRoot(HKEY h) {
    return h == HKEY_CLASSES_ROOT || h == HKEY_CURRENT_USER || h == HKEY_LOCAL_MACHINE || h == HKEY_USERS;
}

std::vector<sim::WString> Split(const sim::WString& path) {
    std::vector<sim::WString> parts;
    sim::WString cur;
    for (WCHAR c : path) {
        if (c == u'\\') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

// Resolves a handle plus a sub-path to a root and a path; false if the handle is not a key.
bool Resolve(HKEY h, const WCHAR* sub, uintptr_t* root, std::vector<sim::WString>* path) {
    if (IsRoot(h)) {
        *root = FromHandle(h);
        path->clear();
    } else if (auto* kh = M().handles.Get<KeyHandle>(h)) {
        *root = kh->root;
        *path = kh->path;
    } else {
        return false;
    }
    if (sub)
        for (auto& part : Split(sub)) path->push_back(part);
    return true;
}

Key* Walk(uintptr_t root, const std::vector<sim::WString>& path, bool create, bool* created = nullptr) {
    Key* k = &R().roots[root];
    for (const auto& part : path) {
        sim::WString f = Fold(part);
        auto it = k->subkeys.find(f);
        if (it == k->subkeys.end()) {
            if (!create) return nullptr;
            auto nk = std::make_unique<Key>();
            nk->name = part;
            it = k->subkeys.emplace(f, std::move(nk)).first;
            if (created) *created = true;
        }
        k = it->second.get();
    }
    return k;
}

Key* KeyOf(HKEY h) {
    uintptr_t root;
    std::vector<sim::WString> path;
    if (!Resolve(h, nullptr, &root, &path)) return nullptr;
    return Walk(root, path, IsRoot(h));
}

HKEY NewHandle(uintptr_t root, std::vector<sim::WString> path) {
    auto kh = std::make_unique<KeyHandle>();
    kh->owner_pid = CurrentPid();
    kh->root = root;
    for (auto& p : path) p = Fold(p);
    kh->path = std::move(path);
    return ToHandle<HKEY>(M().handles.Insert(std::move(kh)));
}

}  // namespace

namespace reg {

void Set(HKEY root, const sim::WString& key, const sim::WString& name, DWORD type, const std::vector<uint8_t>& data) {
    Key* k = Walk(FromHandle(root), Split(key), true);
    k->values[Fold(name)] = Value{name, type, data};
}

bool Delete(HKEY root, const sim::WString& key, const sim::WString& name) {
    Key* k = Walk(FromHandle(root), Split(key), false);
    return k && k->values.erase(Fold(name)) > 0;
}

bool DeleteKey(HKEY root, const sim::WString& key) {
    std::vector<sim::WString> path = Split(key);
    if (path.empty()) return false;
    sim::WString leaf = Fold(path.back());
    path.pop_back();
    Key* parent = Walk(FromHandle(root), path, false);
    return parent && parent->subkeys.erase(leaf) > 0;
}

bool KeyExists(HKEY root, const sim::WString& key) { return Walk(FromHandle(root), Split(key), false) != nullptr; }

bool ValueExists(HKEY root, const sim::WString& key, const sim::WString& name) {
    Key* k = Walk(FromHandle(root), Split(key), false);
    return k && k->values.count(Fold(name));
}

}  // namespace reg

}  // namespace sim

using namespace sim;

extern "C" {

LONG WINAPI RegCreateKeyExW(HKEY h, LPCWSTR sub, DWORD reserved, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                            PHKEY out, LPDWORD disposition) {
    SIM_API("RegCreateKeyExW");
    if (SIM_FAIL()) return ERROR_ACCESS_DENIED;
    // The reserved argument must be 0; the key is then neither made nor opened.
    if (!out || reserved != 0) return ERROR_INVALID_PARAMETER;
    uintptr_t root;
    std::vector<sim::WString> path;
    if (!Resolve(h, sub, &root, &path)) return ERROR_INVALID_HANDLE;
    bool created = false;
    Walk(root, path, true, &created);
    *out = NewHandle(root, path);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyExW(HKEY h, LPCWSTR sub, DWORD, REGSAM, PHKEY out) {
    SIM_API("RegOpenKeyExW");
    if (SIM_FAIL()) return ERROR_ACCESS_DENIED;
    if (!out) return ERROR_INVALID_PARAMETER;
    uintptr_t root;
    std::vector<sim::WString> path;
    if (!Resolve(h, sub, &root, &path)) return ERROR_INVALID_HANDLE;
    if (!Walk(root, path, false)) return ERROR_FILE_NOT_FOUND;
    *out = NewHandle(root, path);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExW(HKEY h, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    SIM_API("RegQueryValueExW");
    if (SIM_FAIL()) return ERROR_FILE_NOT_FOUND;
    Key* k = KeyOf(h);
    if (!k) return ERROR_INVALID_HANDLE;
    auto it = k->values.find(Fold(name ? name : u""));
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    const Value& v = it->second;
    if (type) *type = v.type;
    DWORD need = static_cast<DWORD>(v.data.size());
    if (data) {
        if (!size) return ERROR_INVALID_PARAMETER;
        if (*size < need) {
            *size = need;
            return ERROR_MORE_DATA;
        }
        std::copy(v.data.begin(), v.data.end(), data);
    }
    if (size) *size = need;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExW(HKEY h, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    SIM_API("RegSetValueExW");
    if (SIM_FAIL()) return ERROR_ACCESS_DENIED;
    Key* k = KeyOf(h);
    if (!k) return ERROR_INVALID_HANDLE;
    sim::WString n = name ? name : u"";
    k->values[Fold(n)] = Value{n, type, std::vector<uint8_t>(data, data + (data ? size : 0))};
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueW(HKEY h, LPCWSTR name) {
    SIM_API("RegDeleteValueW");
    Key* k = KeyOf(h);
    if (!k) return ERROR_INVALID_HANDLE;
    return k->values.erase(Fold(name ? name : u"")) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegCloseKey(HKEY h) {
    SIM_API("RegCloseKey");
    if (SIM_FAIL()) return ERROR_INVALID_HANDLE;
    if (IsRoot(h)) return ERROR_SUCCESS;
    Machine& m = M();
    if (!m.handles.Get<KeyHandle>(h)) {
        InvalidFree("RegCloseKey", FromHandle(h));
        return ERROR_INVALID_HANDLE;
    }
    m.handles.Erase(FromHandle(h));
    return ERROR_SUCCESS;
}

}  // extern "C"
