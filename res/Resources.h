// The program's resource file as data: dialog templates, menus, soft-key
// bars, the string table and the icon. Each group of dialogs adds its own
// resources in its own file.
#pragma once

#include "platform/win.h"

// The whole resource module, built once.
const ResourceModule& StockAtResources();

void AddShellResources(ResourceModule& module); // menus, main bar, strings, icon, progress
void AddInfoResources(ResourceModule& module);  // message, about, traffic dialogs
void AddSettingsResources(
    ResourceModule& module); // target, notify, frequency, background, connection
void AddLookupResources(ResourceModule& module); // add stock, detail, market index
