// Resources. The program's resource file is data (res/ builds a
// ResourceModule) that it registers to get its HINSTANCE; FindResource,
// LoadResource and LockResource hand out its dialog templates, and
// LoadString, LoadMenu and LoadIcon its strings, menus and icons.

#include "platform/WinInternal.h"

#include <algorithm>
#include <memory>
#include <set>

namespace platform::wm {

namespace {

struct Resources {
    std::vector<const ResourceModule*> modules;
    std::set<std::unique_ptr<MENUTEMPLATE>> menus;
    std::map<std::pair<const ResourceModule*, int>, HICON> icons;
};

Resources& R() {
    static Resources r;
    return r;
}

bool IsIntResource(LPCWSTR name) {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

int IdOf(LPCWSTR name) {
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
}

} // namespace

const MENUTEMPLATE* MenuTemplateOf(HMENU menu) {
    for (const auto& m : R().menus) {
        if (reinterpret_cast<HMENU>(m.get()) == menu) {
            return m.get();
        }
    }
    return nullptr;
}

void ResetResources() {
    R().modules.clear();
    R().menus.clear();
    // Icons live for the process (the canvas helper keeps them); the map
    // only saves making the same icon twice and may keep them.
}

} // namespace platform::wm

using namespace platform::wm;

HINSTANCE RegisterResourceModule(const ResourceModule* module) {
    if (module == nullptr) {
        return nullptr;
    }
    auto& mods = R().modules;
    auto it = std::find(mods.begin(), mods.end(), module);
    std::size_t index = static_cast<std::size_t>(it - mods.begin());
    if (it == mods.end()) {
        mods.push_back(module);
    }
    // Handles are small numbers, never null.
    return reinterpret_cast<HINSTANCE>((index + 1) * 0x100000);
}

const ResourceModule* ResourceModuleOf(HINSTANCE instance) {
    auto v = reinterpret_cast<std::uintptr_t>(instance);
    if (v == 0 || v % 0x100000 != 0) {
        return nullptr;
    }
    std::size_t index = v / 0x100000 - 1;
    auto& mods = R().modules;
    return index < mods.size() ? mods[index] : nullptr;
}

HRSRC FindResource(HINSTANCE instance, LPCWSTR name, LPCWSTR type) {
    const ResourceModule* module = ResourceModuleOf(instance);
    if (module == nullptr || !IsIntResource(name) || !IsIntResource(type)) {
        return nullptr;
    }
    int id = IdOf(name);
    if (type == RT_DIALOG) {
        auto it = module->dialogs.find(id);
        return it == module->dialogs.end()
                   ? nullptr
                   : reinterpret_cast<HRSRC>(const_cast<DLGTEMPLATE*>(&it->second));
    }
    if (type == RT_MENU) {
        auto it = module->menus.find(id);
        return it == module->menus.end()
                   ? nullptr
                   : reinterpret_cast<HRSRC>(const_cast<MENUTEMPLATE*>(&it->second));
    }
    if (type == RT_STRING) {
        auto it = module->strings.find(id);
        return it == module->strings.end()
                   ? nullptr
                   : reinterpret_cast<HRSRC>(const_cast<std::u16string*>(&it->second));
    }
    return nullptr;
}

HGLOBAL LoadResource(HINSTANCE instance, HRSRC resource) {
    return reinterpret_cast<HGLOBAL>(resource);
}

const void* LockResource(HGLOBAL data) {
    return data;
}

int LoadString(HINSTANCE instance, UINT id, LPWSTR buffer, int maxCount) {
    const ResourceModule* module = ResourceModuleOf(instance);
    if (buffer == nullptr || maxCount <= 0) {
        return 0;
    }
    buffer[0] = 0;
    if (module == nullptr) {
        return 0;
    }
    auto it = module->strings.find(static_cast<int>(id));
    if (it == module->strings.end()) {
        return 0;
    }
    int n = std::min(static_cast<int>(it->second.size()), maxCount - 1);
    std::copy_n(it->second.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

HMENU LoadMenu(HINSTANCE instance, LPCWSTR name) {
    const ResourceModule* module = ResourceModuleOf(instance);
    if (module == nullptr || !IsIntResource(name)) {
        return nullptr;
    }
    auto it = module->menus.find(IdOf(name));
    if (it == module->menus.end()) {
        return nullptr;
    }
    auto copy = std::make_unique<MENUTEMPLATE>(it->second);
    HMENU h = reinterpret_cast<HMENU>(copy.get());
    R().menus.insert(std::move(copy));
    return h;
}

BOOL DestroyMenu(HMENU menu) {
    auto& menus = R().menus;
    for (auto it = menus.begin(); it != menus.end(); ++it) {
        if (reinterpret_cast<HMENU>(it->get()) == menu) {
            menus.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

HICON LoadIcon(HINSTANCE instance, LPCWSTR name) {
    const ResourceModule* module = ResourceModuleOf(instance);
    if (module == nullptr || !IsIntResource(name)) {
        return nullptr;
    }
    int id = IdOf(name);
    auto it = module->icons.find(id);
    if (it == module->icons.end()) {
        return nullptr;
    }
    auto key = std::make_pair(module, id);
    auto& icons = R().icons;
    auto found = icons.find(key);
    if (found != icons.end()) {
        return found->second;
    }
    HICON icon = platform::CreateIconFromTemplate(it->second);
    icons.emplace(key, icon);
    return icon;
}
